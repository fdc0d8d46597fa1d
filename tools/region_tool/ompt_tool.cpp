// The region tool as the OpenMP runtime loads it (OMP_TOOL_LIBRARIES): its callbacks time-stamp
// the runtime's events and hand them to the accounting; at the runtime's end it writes the
// record that OMP_SUMS_REGIONS_FILE names.
#include <fcntl.h>
#include <link.h>
#include <omp-tools.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tools/region_tool/region_accounting.hpp"
#include "tools/region_tool/region_record.hpp"

namespace omp_sums::regions {

namespace {

// What the interface leaves no other place for: the sums of every region, and each thread's
// running figures. The runtime's end may come after this library's destructors: the ledger is
// never destroyed.
region_ledger& ledger = *new region_ledger;
thread_local thread_state state;

double now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

region_instance* instance_of(const ompt_data_t* parallel_data) {
  return parallel_data != nullptr ? static_cast<region_instance*>(parallel_data->ptr) : nullptr;
}

void on_parallel_begin(ompt_data_t*, const ompt_frame_t*, ompt_data_t* parallel_data, unsigned requested_team, int,
                       const void* code) {
  parallel_data->ptr = begin_region(state, code, requested_team, now());
}

void on_parallel_end(ompt_data_t* parallel_data, ompt_data_t*, int, const void*) {
  end_region(ledger, instance_of(parallel_data), now());
  parallel_data->ptr = nullptr;
}

void on_implicit_task(ompt_scope_endpoint_t endpoint, ompt_data_t* parallel_data, ompt_data_t*, unsigned,
                      unsigned thread_number, int flags) {
  if ((flags & ompt_task_initial) != 0) return;
  if (endpoint == ompt_scope_begin) {
    begin_task(state, instance_of(parallel_data), thread_number, now());
  } else {
    end_task(state, now());
  }
}

bool is_barrier(ompt_sync_region_t kind) {
  switch (kind) {
    case ompt_sync_region_barrier:
    case ompt_sync_region_barrier_implicit:
    case ompt_sync_region_barrier_explicit:
    case ompt_sync_region_barrier_implementation:
    case ompt_sync_region_barrier_implicit_workshare:
    case ompt_sync_region_barrier_implicit_parallel: return true;
    default: return false;
  }
}

void on_sync_region_wait(ompt_sync_region_t kind, ompt_scope_endpoint_t endpoint, ompt_data_t* parallel_data,
                         ompt_data_t*, const void*) {
  if (!is_barrier(kind)) return;
  if (endpoint == ompt_scope_begin) {
    begin_wait(state, instance_of(parallel_data), now());
  } else {
    end_wait(state, parallel_data != nullptr, now());
  }
}

bool is_waited_for(ompt_mutex_t kind) {
  return kind == ompt_mutex_lock || kind == ompt_mutex_nest_lock || kind == ompt_mutex_critical ||
         kind == ompt_mutex_ordered;
}

void on_mutex_acquire(ompt_mutex_t kind, unsigned, unsigned, ompt_wait_id_t, const void*) {
  if (is_waited_for(kind)) begin_acquire(state, now());
}

void on_mutex_acquired(ompt_mutex_t kind, ompt_wait_id_t, const void*) {
  if (is_waited_for(kind)) acquired(state, now());
}

// The accounting's own cost per event: a region of one thread with one barrier, many times over,
// on a ledger of its own.
double nanoseconds_per_event() {
  constexpr int kInstances = 20000;
  constexpr int kEventsPerInstance = 6;
  region_ledger own;
  thread_state own_state;
  static const char code = 0;
  const double start = now();
  for (int k = 0; k < kInstances; ++k) {
    region_instance* instance = begin_region(own_state, &code, 1, now());
    begin_task(own_state, instance, 0, now());
    begin_wait(own_state, instance, now());
    end_wait(own_state, false, now());
    end_task(own_state, now());
    end_region(own, instance, now());
  }
  return (now() - start) * 1e9 / (kInstances * kEventsPerInstance);
}

// The object that holds ADDRESS, and the offset its debug information knows the address by.
struct located {
  const char* path = nullptr;  // nullptr: the program itself, or no object
  std::uintptr_t offset = 0;
  bool program = false;
};

located locate(const void* address) {
  located found;
  found.offset = reinterpret_cast<std::uintptr_t>(address);
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        located& where = *static_cast<located*>(data);
        for (int k = 0; k < info->dlpi_phnum; ++k) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[k];
          const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
          if (segment.p_type != PT_LOAD || where.offset < begin || where.offset >= begin + segment.p_memsz) continue;
          // The program itself has no name in the list.
          where.program = info->dlpi_name[0] == '\0';
          if (!where.program) where.path = info->dlpi_name;
          where.offset -= info->dlpi_addr;
          return 1;
        }
        return 0;
      },
      &found);
  return found;
}

void write_record(const char* path) {
  // Created, never replaced: the path is sum_compare's, in a directory of its own.
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  std::FILE* out = fdopen(fd, "w");
  if (out == nullptr) {
    close(fd);
    return;
  }
  std::fprintf(out, "%s\nns_per_event %.6g\n", kRecordTag, nanoseconds_per_event());
  char exe[4096];
  for (const region_totals& region : ledger.totals()) {
    located where = locate(region.code);
    if (where.program) {
      const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
      exe[length > 0 ? length : 0] = '\0';
      where.path = exe;
    }
    std::fprintf(out, "region 0x%" PRIxPTR " %lld %d %.9g %lld 0x%" PRIxPTR " %s\n",
                 reinterpret_cast<std::uintptr_t>(region.code), region.instances, region.team, region.wall,
                 region.events, where.offset, where.path != nullptr ? where.path : "");
    for (std::size_t k = 0; k < region.threads.size(); ++k) {
      const thread_time& time = region.threads[k];
      std::fprintf(out, "thread %zu %.9g %.9g %.9g %.9g\n", k, time.work, time.barrier, time.lock, time.overhead);
    }
  }
  std::fclose(out);
}

int initialize(ompt_function_lookup_t lookup, int, ompt_data_t*) {
  const auto set_callback = reinterpret_cast<ompt_set_callback_t>(lookup("ompt_set_callback"));
  if (set_callback == nullptr) return 0;
  set_callback(ompt_callback_parallel_begin, reinterpret_cast<ompt_callback_t>(on_parallel_begin));
  set_callback(ompt_callback_parallel_end, reinterpret_cast<ompt_callback_t>(on_parallel_end));
  set_callback(ompt_callback_implicit_task, reinterpret_cast<ompt_callback_t>(on_implicit_task));
  set_callback(ompt_callback_sync_region_wait, reinterpret_cast<ompt_callback_t>(on_sync_region_wait));
  set_callback(ompt_callback_mutex_acquire, reinterpret_cast<ompt_callback_t>(on_mutex_acquire));
  set_callback(ompt_callback_mutex_acquired, reinterpret_cast<ompt_callback_t>(on_mutex_acquired));
  return 1;
}

void finalize(ompt_data_t*) {
  if (const char* path = std::getenv(kRecordVariable); path != nullptr && path[0] != '\0') write_record(path);
}

}  // namespace

}  // namespace omp_sums::regions

// The runtime's entry point: the tool stays off where no record is wanted.
extern "C" ompt_start_tool_result_t* ompt_start_tool(unsigned, const char*) {
  static ompt_start_tool_result_t result{omp_sums::regions::initialize, omp_sums::regions::finalize, {}};
  const char* path = std::getenv(omp_sums::regions::kRecordVariable);
  return path != nullptr && path[0] != '\0' ? &result : nullptr;
}
