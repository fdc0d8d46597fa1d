#include "tools/catalog/sizes.hpp"

#include <algorithm>
#include <cctype>
#include <climits>

#include "tools/catalog/text.hpp"

namespace omp_sums {

array_size counted_size(int elements) { return {std::to_string(elements), elements}; }

std::string read_size_name(const std::string& text, std::string& name) {
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* known : kSizeNames) {
    if (upper == known) {
      name = known;
      return {};
    }
  }
  const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size()));
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || digits.empty() ||
      digits.size() > 10 || std::stoll(digits) > INT_MAX) {
    return "'" + text + "' is neither a count from 1 to 2147483647 nor one of L1, L2, L3 and DRAM";
  }
  name = digits;
  return {};
}

std::string resolve_size(const std::string& name, const machine_topology& machine, array_size& size) {
  size = {name};
  const auto measured = [&](int level) {
    return std::find(machine.measured_levels.begin(), machine.measured_levels.end(), level) !=
           machine.measured_levels.end();
  };
  if (name == "DRAM") {
    // Whichever of the two is larger, then no more than a quarter of the memory nor than an int holds.
    unsigned long long elements = kLeastDramElements;
    if (machine.last_level > 0) {
      size.level = machine.last_level;
      size.cache_bytes = machine.last_level_bytes;
      size.measured = measured(machine.last_level);
      elements = std::max(elements, machine.last_level_bytes / 8 * 4);  // no wrap, however large the report
    }
    if (machine.memory_bytes > 0 && elements > machine.memory_bytes / 4 / 8) {
      elements = machine.memory_bytes / 4 / 8;
      size.memory_bytes = machine.memory_bytes;
    }
    size.elements = static_cast<int>(std::clamp<unsigned long long>(elements, 1, INT_MAX));
    return {};
  }
  if (name.size() == 2 && name[0] == 'L') {
    size.level = name[1] - '0';
    if (std::find(machine.absent_levels.begin(), machine.absent_levels.end(), size.level) !=
        machine.absent_levels.end()) {
      return "the machine reports an " + name + " cache, but the read sweep reads half its share at memory speed, " +
             "so --size " + name + " has no size here";
    }
    const auto share = machine.share_per_processor.find(size.level);
    if (share == machine.share_per_processor.end() || share->second < 16) {
      return "the machine reports no " + name + " cache for the processors this process may use, so --size " + name +
             " has no size here";
    }
    size.cache_bytes = share->second;
    size.measured = measured(size.level);
    size.elements = static_cast<int>(std::min<unsigned long long>(share->second / 2 / 8, INT_MAX));
    return {};
  }
  size.elements = std::stoi(name);
  return {};
}

std::string size_rule(const array_size& size, const machine_topology& machine) {
  if (size.name == "DRAM") {
    std::string rule =
        size.level > 0
            ? size.measured
                  ? printed(
                        "four times the %s of cache that the usable processors reach as measured, %d "
                        "elements at least",
                        size_text(size.cache_bytes).c_str(), kLeastDramElements)
                  : printed("four times the %s of L%d cache that the usable processors reach, %d elements at least",
                            size_text(size.cache_bytes).c_str(), size.level, kLeastDramElements)
            : printed("%d elements: the machine reports no cache", kLeastDramElements);
    if (size.memory_bytes > 0)
      rule += ", cut to a quarter of the " + size_text(size.memory_bytes) + " of memory available";
    if (size.elements == INT_MAX) rule += ", cut to the largest count the programs take";
    if (size.uncut_elements > 0) rule += printed("; cut from %d elements to fit --budget", size.uncut_elements);
    return rule;
  }
  if (size.level > 0) {
    return printed("half of the %s of L%d cache per usable processor%s", size_text(size.cache_bytes).c_str(),
                   size.level, size.measured ? " as measured" : "");
  }
  if (machine.last_level == 0 || machine.last_level_bytes == 0)
    return "the machine reports no cache to compare it with";
  const double times = 8.0 * size.elements / static_cast<double>(machine.last_level_bytes);
  return (times < 0.01 ? std::string("less than 0.01x") : printed("%.2fx", times)) +
         printed(" the %s of L%d cache that the usable processors reach", size_text(machine.last_level_bytes).c_str(),
                 machine.last_level);
}

std::string size_place(const array_size& size) {
  if (size.name == "DRAM") return size.level > 0 ? printed("beyond L%d", size.level) : "beyond the caches";
  if (size.level > 0) return "within " + size.name;
  return printed("at %d elements", size.elements);
}

std::string sizes_text(const std::vector<array_size>& sizes) {
  if (sizes.size() == 1) return printed("%d elements", sizes[0].elements);
  std::vector<std::string> names;
  for (const array_size& size : sizes) names.push_back(size.name);
  return joined(names, ", ");
}

std::string size_line(const array_size& size, const machine_topology& machine) {
  const std::string bytes = size_text(8ULL * static_cast<unsigned long long>(size.elements));
  if (size.level == 0 && size.name != "DRAM")
    return printed("%d elements, %s: ", size.elements, bytes.c_str()) + size_rule(size, machine);
  return printed("%s, %d elements, %s: ", size.name.c_str(), size.elements, bytes.c_str()) + size_rule(size, machine);
}

int least_beyond_caches(const machine_topology& machine) {
  const unsigned long long twice = machine.last_level_bytes / 8 * 2;
  return static_cast<int>(
      std::min<unsigned long long>(std::max<unsigned long long>(twice, kLeastDramElements), INT_MAX));
}

}  // namespace omp_sums
