#include "tools/analysis/judged.hpp"

#include <algorithm>

#include "tools/analysis/verdict.hpp"

namespace omp_sums {

void analyse(report& r) {
  r.measured = aggregate(r.plan, r.records, r.machine);
  r.said = headlines(r.plan, r.measured, static_cast<int>(r.machine.allowed.size()), allowed_numa_nodes(r.machine),
                     r.facts, std::max(1, static_cast<int>(usable_kinds(r.machine).size())));
  r.warnings = find_warnings(r.plan, r.records, r.measured, r.machine, r.facts);
  r.judged = verdict_of(r);
  r.regions = region_figures(r.plan, r.region_runs, r.measured.cases, r.facts);
}

comparison compare_reports(const std::string& base_path, const std::string& new_path, const report& base,
                           const report& now) {
  comparison compared = comparison_of(base_path, new_path, base, now);
  compared.judged = verdict_of(compared);
  return compared;
}

merged_runs merge_runs(const std::vector<std::string>& paths, const std::vector<report>& runs) {
  merged_runs merged = merge_of(paths, runs);
  merged.judged = verdict_of(merged);
  return merged;
}

}  // namespace omp_sums
