#!/usr/bin/env bash
# The tooling's layers include one way only: each folder of tools/ may include its own headers
# and those of the layers before it in this order, never one after it; and no file's unit (its
# .hpp with its .cpp) includes, through any chain, a unit that includes it back.
#   layers_test.sh TOOLS_DIR
set -euo pipefail
tools=$1
order=(region_tool catalog analysis run report sum_compare)
status=0
for k in "${!order[@]}"; do
  layer=${order[$k]}
  allowed=" ${order[*]:0:$((k + 1))} "
  while IFS=: read -r file included; do
    if [[ "$allowed" != *" $included "* ]]; then
      echo "$file includes tools/$included/, a layer above $layer" >&2
      status=1
    fi
  done < <(grep -rHoE '#include "tools/[a-z_]+/' "$tools/$layer" | sed -E 's|#include "tools/([a-z_]+)/|\1|')
done

# tsort orders the units by their includes and names the loop where there is one.
units=$(grep -rHoE '#include "tools/[a-z_/]+\.hpp"' "$tools" |
        sed -E "s|^$tools/([a-z_/]+)\.(cpp\|hpp):#include \"tools/([a-z_/]+)\.hpp\"|\1 \3|" |
        awk '$1 != $2')
if ! loops=$(tsort <<<"$units" 2>&1 >/dev/null) || [ -n "$loops" ]; then
  echo "units of tools/ include each other round:" >&2
  echo "$loops" >&2
  status=1
fi
[ $status -eq 0 ] && echo "every include of tools/ runs one way: ${order[*]}; no unit includes itself round"
exit $status
