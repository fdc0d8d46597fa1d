#include "tools/analysis/report.hpp"

#include <algorithm>

#include "tools/analysis/verdict.hpp"

void analyse(report& r) {
  r.measured = aggregate(r.plan, r.records, r.machine);
  r.said = headlines(r.plan, r.measured, static_cast<int>(r.machine.allowed.size()), allowed_numa_nodes(r.machine),
                     r.facts, std::max(1, static_cast<int>(usable_kinds(r.machine).size())));
  r.warnings = find_warnings(r.plan, r.records, r.measured, r.machine, r.facts);
  r.judged = verdict_of(r);
}
