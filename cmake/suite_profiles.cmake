# Build profiles of the suite. Every program is declared with suite_program(); tests and tools
# that must share a program's code generation use suite_apply_profile() on their own targets.
#
#   optimised    -O3 for AVX2/FMA, contraction on (a*b+c becomes one fused multiply-add), OpenMP
#   unoptimised  -O0 with the frame pointer kept, no contraction, OpenMP (libgomp)
#   serial       -O0, no contraction, OpenMP disabled: no OpenMP runtime is linked
#   libomp       -O0 with the frame pointer, GCC's OpenMP front end, linked against LLVM's libomp
#   tool         -O2, no OpenMP: test drivers and the comparison tool, which only run programs

set(SUITE_BIN_DIR "${PROJECT_BINARY_DIR}/bin")
set(SUITE_FRAME_SOURCES "${PROJECT_SOURCE_DIR}/common/frame.cpp")
set(SUITE_PROBE_SOURCES "${PROJECT_SOURCE_DIR}/common/probes.cpp")

find_library(SUITE_LIBOMP NAMES omp libomp.so.5
             PATHS /usr/lib/llvm-14/lib /usr/lib/llvm-15/lib /usr/lib/x86_64-linux-gnu)
if(SUITE_LIBOMP)
  message(STATUS "LLVM OpenMP runtime: ${SUITE_LIBOMP}")
else()
  message(WARNING "LLVM's OpenMP runtime (libomp) was not found: install the Debian package "
                  "libomp-dev (apt-get install libomp-dev). Programs of the libomp profile are "
                  "left out of this build.")
endif()

# Compile flags of each profile; the comparison tool prints them in its header.
set(SUITE_FLAGS_optimised -O3 -mavx2 -mfma -ffp-contract=fast -fopenmp)
set(SUITE_FLAGS_unoptimised -O0 -fno-omit-frame-pointer -ffp-contract=off -fopenmp)
set(SUITE_FLAGS_serial -O0 -ffp-contract=off)
set(SUITE_FLAGS_libomp -O0 -fno-omit-frame-pointer -ffp-contract=off -fopenmp)
set(SUITE_FLAGS_tool -O2)

function(suite_apply_profile target profile)
  target_compile_features(${target} PRIVATE cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}")

  if(NOT DEFINED SUITE_FLAGS_${profile})
    message(FATAL_ERROR "unknown build profile '${profile}' for ${target}")
  endif()
  target_compile_options(${target} PRIVATE ${SUITE_FLAGS_${profile}})
  if(profile STREQUAL "optimised" OR profile STREQUAL "unoptimised")
    target_link_options(${target} PRIVATE -fopenmp)
  elseif(profile STREQUAL "libomp")
    if(NOT SUITE_LIBOMP)
      message(FATAL_ERROR "${target} needs libomp: install libomp-dev")
    endif()
    # -fopenmp at compile time only: on the link line it would pull in libgomp.
    target_link_libraries(${target} PRIVATE "${SUITE_LIBOMP}" Threads::Threads)
  endif()

  if(SUITE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(SUITE_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -g)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()

# suite_program(NAME PROFILE SOURCES... [PROBES]): one program of the suite, with the frame
# (and, with PROBES, the placement probes) compiled under the program's own profile.
function(suite_program name profile)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "PROBES" "" "SOURCES;DEFINITIONS")
  if(profile STREQUAL "libomp" AND NOT SUITE_LIBOMP)
    return()
  endif()
  set(sources ${ARG_SOURCES} ${SUITE_FRAME_SOURCES})
  if(ARG_PROBES)
    list(APPEND sources ${SUITE_PROBE_SOURCES})
  endif()
  add_executable(${name} ${sources})
  suite_apply_profile(${name} ${profile})
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${SUITE_BIN_DIR}")
  set_property(GLOBAL APPEND PROPERTY SUITE_PROGRAMS ${name})
endfunction()

find_package(Threads REQUIRED)
