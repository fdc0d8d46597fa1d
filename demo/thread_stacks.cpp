// Where a thread's private variables and stack lie: main reports its own frame (frame base,
// stack top, the address of its i), then each thread reports its private i and frame base
// against main's. Built without optimisation, so every function keeps its frame pointer, and
// linked against LLVM's OpenMP runtime, whose thread stacks the figures show.
#include <alloca.h>
#include <omp.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/frame.hpp"

// Signed distance in bytes from `from` to `to`.
static std::ptrdiff_t byte_distance(const void* to, const void* from) {
  return static_cast<std::ptrdiff_t>(reinterpret_cast<std::uintptr_t>(to) - reinterpret_cast<std::uintptr_t>(from));
}

// The frame base of the function this expands in: its frame-pointer register.
#define READ_FRAME_BASE(var) asm volatile("mov %%rbp, %0" : "=r"(var))
#define READ_STACK_TOP(var) asm volatile("mov %%rsp, %0" : "=r"(var))

int main() {
  const int n = 100;
  int i = 0;
  double* a = static_cast<double*>(alloca(n * sizeof(double)));
  double* b = static_cast<double*>(alloca(n * sizeof(double)));
  double* c = static_cast<double*>(alloca(n * sizeof(double)));

  void* main_frame_base;
  void* main_stack_top;
  READ_FRAME_BASE(main_frame_base);
  READ_STACK_TOP(main_stack_top);
  std::printf(
      "\nmain thread notice:\nbase of stack is: %p\ntop of stack is : %p\n&i is           : %p\n"
      "   &i - rbp     : %td\n   &i - rsp     : %td\n",
      main_frame_base, main_stack_top, static_cast<void*>(&i), byte_distance(&i, main_frame_base),
      byte_distance(&i, main_stack_top));

  for (i = 0; i < n; ++i) {
    a[i] = static_cast<double>(i);
    b[i] = static_cast<double>(i + 1);
  }

  // Inside the region rbp and the name i belong to the thread, so main's are handed in.
  const int* main_i = &i;
#pragma omp parallel default(none) firstprivate(main_i, main_frame_base)
  {
    int i;  // this thread's own i: only its address is reported
    void* my_frame_base;
    READ_FRAME_BASE(my_frame_base);
    std::printf(
        "\tthread nr %d says: i address is %p (%td from main's i)\n"
        "\t\t\tmy base of stack is %p ( %td from main's stack )\n",
        omp_get_thread_num(), static_cast<void*>(&i), byte_distance(&i, main_i), my_frame_base,
        byte_distance(main_frame_base, my_frame_base));
  }

#pragma omp parallel default(none) shared(a, b, c, n)
  {
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    for (int k = block.begin; k < block.end; ++k) c[k] = a[k] * b[k];
  }

  std::putchar('\n');
  return 0;
}
