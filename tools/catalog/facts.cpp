#include "tools/catalog/facts.hpp"

std::string runtime_setting(const run_facts& facts, const std::string& name) {
  for (const std::string& setting : facts.runtime_settings) {
    if (setting.rfind(name + "=", 0) == 0) return setting.substr(name.size() + 1);
  }
  return {};
}
