#include "tools/report/json_facts.hpp"

#include <algorithm>
#include <cmath>

#include "tools/catalog/text.hpp"

namespace omp_sums {

using json = nlohmann::ordered_json;

namespace {

// A count of bytes or a level, or null where there is none (0).
json json_count(unsigned long long value) { return value > 0 ? json(value) : json(nullptr); }

json range_json(const frequency_range& range) {
  if (range.low_mhz <= 0 || range.high_mhz <= 0) return nullptr;
  return {{"low", range.low_mhz}, {"high", range.high_mhz}};
}

}  // namespace

double number_or(const json& value, double none) { return value.is_null() ? none : value.get<double>(); }

json json_number(double value) {
  if (value < 0 || !std::isfinite(value)) return nullptr;
  return value;
}

json sizes_json(const std::vector<array_size>& saved) {
  json sizes = json::array();
  for (const array_size& size : saved) {
    sizes.push_back({{"name", size.name},
                     {"elements", size.elements},
                     {"cache_level", json_count(static_cast<unsigned long long>(size.level))},
                     {"cache_bytes", json_count(size.cache_bytes)},
                     {"memory_bytes", json_count(size.memory_bytes)},
                     {"measured", size.measured},
                     {"uncut_elements", json_count(static_cast<unsigned long long>(size.uncut_elements))}});
  }
  return sizes;
}

json sweep_json(const read_sweep& sweep) {
  if (sweep.most_bytes == 0) return nullptr;
  json points = json::array();
  for (const sweep_point& point : sweep.points)
    points.push_back({{"threads", point.threads}, {"bytes", point.bytes}, {"gb_per_s", point.gb_per_s}});
  return {{"most_bytes", sweep.most_bytes}, {"problem", sweep.problem}, {"points", points}};
}

json budget_json(const budget_cut& budget) {
  if (budget.seconds == 0) return nullptr;
  return {{"seconds", budget.seconds},
          {"full_seconds", json_number(budget.full_seconds)},
          {"cuts", budget.cuts},
          {"full_plan", budget.full_plan}};
}

json clock_json(const clock_facts& clock) {
  return {{"governors", clock.governors},
          {"boost", clock.boost < 0 ? json(nullptr) : json(clock.boost == 1)},
          {"hardware_mhz", range_json(clock.hardware)},
          {"before_mhz", range_json(clock.before)},
          {"after_mhz", range_json(clock.after)},
          {"power", clock.power.empty() ? json(nullptr) : json(clock.power)}};
}

json topology_json(const machine_topology& machine) {
  json caches = json::array();
  for (const cache_group& cache : machine.caches) {
    caches.push_back({{"level", cache.level},
                      {"kind", cache.kind == 'd' ? "data" : "unified"},
                      {"bytes", cache.bytes},
                      {"count", cache.count}});
  }
  json kinds = json::array();
  for (const core_kind& kind : machine.kinds) {
    json infos = json::object();
    for (const auto& [name, value] : kind.infos) infos[name] = value;
    kinds.push_back({{"processors", kind.processors}, {"efficiency", kind.efficiency}, {"infos", infos}});
  }
  return {{"packages", machine.packages},
          {"numa_nodes", machine.numa_nodes},
          {"cores", machine.cores},
          {"processors", machine.processors},
          {"this_system", machine.this_system},
          {"caches", caches},
          {"last_level", machine.last_level},
          {"last_level_count", machine.last_level_count},
          {"last_level_cache_bytes", machine.last_level_bytes},
          {"core_of_processor", machine.core_of},
          {"node_of_processor", machine.node_of},
          {"core_kinds", kinds}};
}

machine_topology topology_of(const json& in) {
  machine_topology machine;
  const json& topology = in.at("topology");
  machine.packages = topology.at("packages");
  machine.numa_nodes = topology.at("numa_nodes");
  machine.cores = topology.at("cores");
  machine.processors = topology.at("processors");
  machine.this_system = topology.at("this_system");
  for (const json& cache : topology.at("caches")) {
    machine.caches.push_back(
        {cache.at("level"), cache.at("kind") == "data" ? 'd' : 'u', cache.at("bytes"), cache.at("count")});
  }
  machine.last_level = topology.at("last_level");
  machine.last_level_count = topology.at("last_level_count");
  machine.last_level_bytes = topology.at("last_level_cache_bytes");
  for (const json& pair : topology.at("core_of_processor")) machine.core_of[pair.at(0)] = pair.at(1);
  for (const json& pair : topology.at("node_of_processor")) machine.node_of[pair.at(0)] = pair.at(1);
  machine.allowed = in.at("allowed_processors").get<std::vector<int>>();
  const json& kinds = topology.at("core_kinds");
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    core_kind kind{kinds[k].at("processors").get<std::vector<int>>(), kinds[k].at("efficiency"), {}};
    for (const auto& [name, value] : kinds[k].at("infos").items()) kind.infos.emplace_back(name, value);
    for (int processor : kind.processors) {
      if (kind_of(machine, processor) >= 0)
        throw saved_fault{"/topology/core_kinds/" + std::to_string(k), "a processor of two kinds"};
    }
    machine.kinds.push_back(std::move(kind));
  }
  return machine;
}

clock_facts clock_of(const json& clock) {
  const auto range = [](const json& value) {
    return value.is_null() ? frequency_range{} : frequency_range{value.at("low"), value.at("high")};
  };
  return {clock.at("governors").get<std::vector<std::string>>(),
          clock.at("boost").is_null()     ? -1
          : clock.at("boost").get<bool>() ? 1
                                          : 0,
          range(clock.at("hardware_mhz")),
          range(clock.at("before_mhz")),
          range(clock.at("after_mhz")),
          clock.at("power").is_null() ? "" : clock.at("power").get<std::string>()};
}

// The sizes the runs took, each named once, a count by its own figure.
std::vector<array_size> sizes_of(const json& saved) {
  std::vector<array_size> sizes;
  for (std::size_t k = 0; k < saved.size(); ++k) {
    const json& size = saved[k];
    array_size read{size.at("name"),
                    size.at("elements"),
                    static_cast<int>(number_or(size.at("cache_level"), 0)),
                    static_cast<unsigned long long>(number_or(size.at("cache_bytes"), 0)),
                    static_cast<unsigned long long>(number_or(size.at("memory_bytes"), 0)),
                    size.at("measured"),
                    static_cast<int>(number_or(size.at("uncut_elements"), 0))};
    const std::string where = "/sizes/" + std::to_string(k);
    std::string name;
    if (!read_size_name(read.name, name).empty() || name != read.name)
      throw saved_fault{where + "/name", "a size named " + read.name + ", neither a count nor L1, L2, L3 or DRAM"};
    const bool count = read.name.find_first_not_of("0123456789") == std::string::npos;
    if (count && (read.level != 0 || std::to_string(read.elements) != read.name))
      throw saved_fault{
          where, printed("%d elements of level %d for the count %s", read.elements, read.level, read.name.c_str())};
    if (read.name.size() == 2 && read.name[0] == 'L' && read.level != read.name[1] - '0')
      throw saved_fault{where + "/cache_level", printed("level %d for the size %s", read.level, read.name.c_str())};
    if (std::any_of(sizes.begin(), sizes.end(), [&](const array_size& earlier) { return earlier.name == read.name; }))
      throw saved_fault{where + "/name", "the size " + read.name + " twice"};
    sizes.push_back(read);
  }
  return sizes;
}

read_sweep sweep_of(const json& sweep) {
  if (sweep.is_null()) return {};
  read_sweep read{sweep.at("most_bytes"), {}, sweep.at("problem")};
  const json& points = sweep.at("points");
  for (std::size_t k = 0; k < points.size(); ++k) {
    const sweep_point point{points[k].at("threads"), points[k].at("bytes"), points[k].at("gb_per_s")};
    const bool in_order = read.points.empty() || (point.threads == read.points.back().threads
                                                      ? point.bytes > read.points.back().bytes
                                                      : read.points.back().threads == 1 && point.threads > 1);
    if (!in_order || point.bytes > read.most_bytes)
      throw saved_fault{"/sweep/points/" + std::to_string(k), "a working set out of the sweep's order or past its end"};
    read.points.push_back(point);
  }
  return read;
}

budget_cut budget_of(const json& budget) {
  if (budget.is_null()) return {};
  return {budget.at("seconds"), number_or(budget.at("full_seconds"), -1),
          budget.at("cuts").get<std::vector<std::string>>(), budget.at("full_plan")};
}

}  // namespace omp_sums
