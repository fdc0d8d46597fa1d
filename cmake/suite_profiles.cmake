# Build profiles of the suite. Every program is declared once with suite_program(); its profile
# is kept as the target property SUITE_PROFILE, which the tests, the configure summary and
# sum_compare's header (through the generated tools/catalog/suite_build.hpp) read.
#
#   optimised    -O3 for the SUITE_ARCH_FLAGS instruction set, contraction on (a*b+c becomes one
#                fused multiply-add where the set has FMA), OpenMP (libgomp)
#   unoptimised  -O0 with the frame pointer kept, no contraction, OpenMP (libgomp)
#   serial       -O0, no contraction, OpenMP disabled: no OpenMP runtime is linked
#   libomp       -O0 with the frame pointer, GCC's OpenMP front end, linked against LLVM's libomp
#   tool         -O2, no OpenMP: sum_compare, its pieces and the test drivers, which run programs

set(SUITE_ARCH_FLAGS "-mavx2 -mfma" CACHE STRING
    "Instruction-set flags of the optimised profile (empty: any x86-64 processor)")
separate_arguments(suite_arch_flags UNIX_COMMAND "${SUITE_ARCH_FLAGS}")

# Every program carries line information, for --regions to name a region's line; DWARF 4, as
# valgrind 3.19 cannot read clang's DWARF 5.
set(SUITE_PROFILES optimised unoptimised serial libomp)
set(SUITE_FLAGS_optimised -O3 -gdwarf-4 ${suite_arch_flags} -ffp-contract=fast -fopenmp)
set(SUITE_FLAGS_unoptimised -O0 -gdwarf-4 -fno-omit-frame-pointer -ffp-contract=off -fopenmp)
set(SUITE_FLAGS_serial -O0 -gdwarf-4 -ffp-contract=off)
set(SUITE_FLAGS_libomp -O0 -gdwarf-4 -fno-omit-frame-pointer -ffp-contract=off -fopenmp)
set(SUITE_FLAGS_tool -O2)

# How far apart sum_slots_padded keeps the threads' partial sums: one cache line of x86-64
# processors. The program and its tests read it from here; a test holds it to at least the line
# of the machine it runs on.
set(SUITE_CACHE_LINE_BYTES 64)

set(SUITE_BIN_DIR "${PROJECT_BINARY_DIR}/bin")
set(SUITE_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
set(SUITE_FRAME_SOURCES "${PROJECT_SOURCE_DIR}/common/frame.cpp")
set(SUITE_PROBE_SOURCES "${PROJECT_SOURCE_DIR}/common/probes.cpp")
set(SUITE_PAGE_SOURCES "${PROJECT_SOURCE_DIR}/common/pages.cpp")
# sum_compare finds its chart script here from its own directory, in the build tree and installed.
set(SUITE_CHART_SCRIPT_DIR "share/omp_sums")
# And the region tool (libomp_sums_regions.so), for the OpenMP runtime to load into a program.
set(SUITE_REGION_TOOL_DIR "lib/omp_sums")

find_package(Threads REQUIRED)
find_library(SUITE_LIBOMP NAMES omp libomp.so.5
             PATHS /usr/lib/llvm-14/lib /usr/lib/llvm-15/lib /usr/lib/x86_64-linux-gnu)
if(NOT SUITE_LIBOMP)
  message(WARNING "LLVM's OpenMP runtime (libomp) was not found: install the Debian package "
                  "libomp-dev (apt-get install libomp-dev). Programs of the libomp profile are "
                  "left out of this build.")
endif()

function(suite_apply_profile target profile)
  if(NOT DEFINED SUITE_FLAGS_${profile})
    message(FATAL_ERROR "unknown build profile '${profile}' for ${target}")
  endif()
  target_compile_features(${target} PRIVATE cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF SUITE_PROFILE ${profile})
  target_compile_options(${target} PRIVATE -Wall -Wextra ${SUITE_FLAGS_${profile}})
  if(SUITE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}" "${SUITE_GENERATED_DIR}")

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
  # The tooling that a fuzzer drives is instrumented for its coverage.
  if(SUITE_FUZZ AND profile STREQUAL "tool")
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(SUITE_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -g)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()

# suite_executable(NAME PROFILE SOURCES... [PROBES] [PAGES] [DEFINITIONS...]): an executable with
# the frame (with PROBES, the placement probes; with PAGES, the page probe) compiled under its own
# profile. Returns without a target where the profile cannot be built here (libomp missing).
function(suite_executable name profile)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "PROBES;PAGES" "" "SOURCES;DEFINITIONS")
  if(profile STREQUAL "libomp" AND NOT SUITE_LIBOMP)
    return()
  endif()
  set(sources ${ARG_SOURCES} ${SUITE_FRAME_SOURCES})
  if(ARG_PROBES)
    list(APPEND sources ${SUITE_PROBE_SOURCES})
  endif()
  if(ARG_PAGES)
    list(APPEND sources ${SUITE_PAGE_SOURCES})
  endif()
  add_executable(${name} ${sources})
  suite_apply_profile(${name} ${profile})
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
endfunction()

# suite_program(NAME PROFILE SOURCES... [PROBES] [DEFINITIONS...]): a program users run, built
# into bin/, installed, and listed in the global property SUITE_PROGRAMS.
function(suite_program name profile)
  suite_executable(${name} ${profile} ${ARGN})
  if(NOT TARGET ${name})
    return()
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${SUITE_BIN_DIR}")
  set_property(GLOBAL APPEND PROPERTY SUITE_PROGRAMS ${name})
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# The OpenMP runtime a program of the profile links: GCC's -fopenmp links libgomp, clang's links
# LLVM's libomp; the libomp profile links libomp whatever the compiler; the serial profile none.
function(suite_runtime_of_profile profile out)
  if(profile STREQUAL "serial" OR profile STREQUAL "tool")
    set(${out} "none" PARENT_SCOPE)
  elseif(profile STREQUAL "libomp" OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(${out} "libomp" PARENT_SCOPE)
  else()
    set(${out} "libgomp" PARENT_SCOPE)
  endif()
endfunction()

# What this build is, written for the tools twice from the same facts: tools/catalog/suite_build.hpp (the
# compiler, each profile's flags and each program's profile, for sum_compare and the tests) and
# bin/build_facts.json beside the programs, which sum_compare reads from any build directory it
# is given (--build). Call once every program is declared.
set(SUITE_BUILD_FACTS_FILE "build_facts.json")
function(suite_write_build_facts)
  set(SUITE_BUILD_COMPILER "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}")
  set(SUITE_BUILD_PROFILES "")
  set(json_profiles "")
  foreach(profile IN LISTS SUITE_PROFILES)
    list(JOIN SUITE_FLAGS_${profile} " " flags)
    string(REPLACE "\\" "\\\\" flags "${flags}")
    string(REPLACE "\"" "\\\"" flags "${flags}")
    string(APPEND SUITE_BUILD_PROFILES "    {\"${profile}\", \"${flags}\"},\n")
    list(APPEND json_profiles "    \"${profile}\": \"${flags}\"")
  endforeach()
  get_property(programs GLOBAL PROPERTY SUITE_PROGRAMS)
  set(SUITE_BUILD_PROGRAMS "")
  set(json_programs "")
  foreach(program IN LISTS programs)
    get_target_property(profile ${program} SUITE_PROFILE)
    suite_runtime_of_profile(${profile} runtime)
    string(APPEND SUITE_BUILD_PROGRAMS "    {\"${program}\", \"${profile}\"},\n")
    list(APPEND json_programs "    \"${program}\": {\"profile\": \"${profile}\", \"openmp_runtime\": \"${runtime}\"}")
  endforeach()
  set(SUITE_REGION_TOOL_FILE "")
  if(TARGET omp_sums_regions)
    set(SUITE_REGION_TOOL_FILE "${SUITE_REGION_TOOL_DIR}/libomp_sums_regions.so")
  endif()
  set(SUITE_LIBOMP_RUNTIME "")
  if(SUITE_LIBOMP)
    file(REAL_PATH "${SUITE_LIBOMP}" SUITE_LIBOMP_RUNTIME)
  endif()
  configure_file("${PROJECT_SOURCE_DIR}/tools/catalog/suite_build.hpp.in"
                 "${SUITE_GENERATED_DIR}/tools/catalog/suite_build.hpp" @ONLY)
  list(JOIN json_profiles ",\n" json_profiles)
  list(JOIN json_programs ",\n" json_programs)
  file(CONFIGURE OUTPUT "${SUITE_BIN_DIR}/${SUITE_BUILD_FACTS_FILE}" CONTENT
"{
  \"compiler\": \"${SUITE_BUILD_COMPILER}\",
  \"profiles\": {
${json_profiles}
  },
  \"programs\": {
${json_programs}
  }
}
")
  install(FILES "${SUITE_BIN_DIR}/${SUITE_BUILD_FACTS_FILE}" DESTINATION bin)
endfunction()

# What this configuration builds, and what it leaves out.
function(suite_print_summary)
  get_property(programs GLOBAL PROPERTY SUITE_PROGRAMS)
  message(STATUS "omp_sums configuration:")
  message(STATUS "  compiler      ${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} (${CMAKE_CXX_COMPILER})")
  foreach(profile IN LISTS SUITE_PROFILES)
    list(JOIN SUITE_FLAGS_${profile} " " flags)
    set(members "")
    foreach(program IN LISTS programs)
      get_target_property(program_profile ${program} SUITE_PROFILE)
      if(program_profile STREQUAL profile)
        string(APPEND members " ${program}")
      endif()
    endforeach()
    if(profile STREQUAL "libomp")
      if(SUITE_LIBOMP)
        string(APPEND flags ", linked to ${SUITE_LIBOMP}")
      else()
        set(members " (none: libomp not found, install libomp-dev)")
      endif()
    endif()
    string(SUBSTRING "${profile}:              " 0 14 label)
    message(STATUS "  ${label}${flags}")
    message(STATUS "                programs:${members}")
  endforeach()
  find_program(SUITE_GNUPLOT gnuplot)
  if(SUITE_GNUPLOT)
    message(STATUS "  gnuplot       ${SUITE_GNUPLOT}")
  else()
    message(STATUS "  gnuplot       not found: sum_compare --plot needs it (apt-get install gnuplot-nox)")
  endif()
  set(sanitizers "none")
  if(SUITE_SANITIZE)
    set(sanitizers "address, undefined")
  elseif(SUITE_TSAN)
    set(sanitizers "thread")
  endif()
  message(STATUS "  sanitizers    ${sanitizers}")
endfunction()
