#include "tools/catalog/facts.hpp"

#include "tools/catalog/text.hpp"

namespace omp_sums {

std::string runtime_setting(const run_facts& facts, const std::string& name) {
  for (const std::string& setting : facts.runtime_settings) {
    if (setting.rfind(name + "=", 0) == 0) return setting.substr(name.size() + 1);
  }
  return {};
}

std::string frequency_text(const frequency_range& range) {
  if (range.low_mhz <= 0 || range.high_mhz <= 0) return {};
  if (range.low_mhz == range.high_mhz) return printed("%.2f GHz", range.low_mhz / 1000);
  return printed("%.2f-%.2f GHz", range.low_mhz / 1000, range.high_mhz / 1000);
}

std::string clock_line(const clock_facts& clock) {
  std::vector<std::string> said;
  if (!clock.governors.empty())
    said.push_back((clock.governors.size() == 1 ? "governor " : "governors ") + joined(clock.governors, ", "));
  if (clock.boost >= 0) said.push_back(clock.boost == 1 ? "boost on" : "boost off");
  if (!frequency_text(clock.hardware).empty()) said.push_back(frequency_text(clock.hardware) + " the hardware's range");
  if (!frequency_text(clock.before).empty()) said.push_back(frequency_text(clock.before) + " before the runs");
  if (!clock.power.empty()) said.push_back("on " + clock.power);
  return joined(said, "; ");
}

}  // namespace omp_sums
