#!/usr/bin/env bash
# The Debian package of a build tree: made by cpack, installed by apt-get, sum_compare run from
# PATH with the programs, chart script, schema and man page it finds, then removed leaving none
# of its files. Installing into /usr needs root and a dpkg of its own: skipped (77) without them,
# and wherever any of the package's files is there already, which removing would take away.
#   package_test.sh BUILD_DIR CPACK
set -euo pipefail
build=$1
cpack=$2
skip() { echo "skipped: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in apt-get dpkg dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (dpkg-dev brings dpkg-shlibdeps)"
done
dpkg-query -W -f='${Status}' omp-sums 2>/dev/null | grep -q "ok installed" &&
  skip "omp-sums is installed already: this test would replace it"

work=$(mktemp -d)
installed=false
cleanup() {
  if $installed; then DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq omp-sums >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" >cpack.log 2>&1) || {
  cat "$work/cpack.log" >&2
  exit 1
}
debs=("$work"/omp-sums_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "cpack made no omp-sums_<version>_amd64.deb" >&2; exit 1; }
deb=${debs[0]}
dpkg-deb -f "$deb" Depends | grep -q "libhwloc" || { echo "the package declares no dependency on hwloc" >&2; exit 1; }

# Its files, /usr/bin/sum_compare and the like; none may be there before it.
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}')
for file in "${files[@]}"; do
  [ ! -e "$file" ] || skip "$file is there already, and removing the package would take it away"
done

installed=true
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log" >&2
  exit 1
}

# From PATH, in an environment of its own: it finds its programs beside it and writes a run that
# it reads back against the schema it carries.
clean_env=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$work")
"${clean_env[@]}" sum_compare --programs sum_walltime --threads 1 --size 1000 --repeat 1 --json "$work/run.json" \
  >"$work/run.txt" 2>&1 || { cat "$work/run.txt" >&2; exit 1; }
grep -q "programs:    /usr/bin" "$work/run.txt" || { echo "sum_compare did not run /usr/bin's programs:" >&2; cat "$work/run.txt" >&2; exit 1; }
"${clean_env[@]}" sum_compare --from "$work/run.json" >"$work/from.txt" 2>&1 || { cat "$work/from.txt" >&2; exit 1; }
if command -v gnuplot >/dev/null; then
  "${clean_env[@]}" sum_compare --from "$work/run.json" --plot "$work/chart.svg" >/dev/null 2>&1 &&
    [ -s "$work/chart.svg" ] || { echo "no chart drawn with /usr/share/omp_sums/sum_compare.gp" >&2; exit 1; }
fi
[ -f /usr/share/man/man1/sum_compare.1 ] || { echo "no man page in /usr/share/man/man1" >&2; exit 1; }
[ -f /usr/share/omp_sums/sum_compare.schema.json ] || { echo "no schema in /usr/share/omp_sums" >&2; exit 1; }

DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq omp-sums >"$work/remove.log" 2>&1 || {
  cat "$work/remove.log" >&2
  exit 1
}
installed=false
left=()
for file in "${files[@]}" /usr/share/omp_sums; do
  [ ! -e "$file" ] || left+=("$file")
done
[ ${#left[@]} -eq 0 ] || { echo "removed, the package left ${left[*]}" >&2; exit 1; }
echo "omp-sums $(dpkg-deb -f "$deb" Version): built, installed (${#files[@]} files), run from PATH, removed clean"
