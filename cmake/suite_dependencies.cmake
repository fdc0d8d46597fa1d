# The libraries the suite builds on, each with the Debian package that brings it. Where any is
# missing, configure first names every missing package and the script that installs them, then
# stops with CMake's own error for the first.

# suite_find(NAME DEBIAN_PACKAGE [PKG_CONFIG MODULE]): find_package(NAME), or pkg-config's MODULE
# as the imported target PkgConfig::NAME; records the package in suite_missing_packages if absent.
macro(suite_find name debian_package)
  cmake_parse_arguments(suite_find "" "PKG_CONFIG" "" ${ARGN})
  if(suite_find_PKG_CONFIG)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(${name} QUIET IMPORTED_TARGET ${suite_find_PKG_CONFIG})
    endif()
  else()
    find_package(${name} QUIET)
  endif()
  if(NOT ${name}_FOUND)
    list(APPEND suite_missing_packages ${debian_package})
    message(NOTICE "-- missing: ${name}, from the Debian package ${debian_package}: "
                   "run ./install-deps (or apt-get install ${debian_package})")
  endif()
endmacro()

set(suite_missing_packages "")
suite_find(PkgConfig pkg-config)
suite_find(CLI11 libcli11-dev)
suite_find(nlohmann_json nlohmann-json3-dev)
suite_find(hwloc libhwloc-dev PKG_CONFIG hwloc)
# RE2 matches every pattern over outside text in time linear in the text, without recursion.
suite_find(re2 libre2-dev PKG_CONFIG re2)
# valijson is header-only and ships no CMake package: its validator header is looked for.
find_path(SUITE_VALIJSON_INCLUDE_DIR valijson/validator.hpp)
if(NOT SUITE_VALIJSON_INCLUDE_DIR)
  list(APPEND suite_missing_packages libvalijson-dev)
  message(NOTICE "-- missing: valijson, from the Debian package libvalijson-dev: "
                 "run ./install-deps (or apt-get install libvalijson-dev)")
endif()
if(SUITE_TESTS)
  suite_find(GTest libgtest-dev)
endif()
if(SUITE_BENCH)
  suite_find(benchmark libbenchmark-dev)
endif()

if(suite_missing_packages)
  # CMake's own error, for the first missing one.
  find_package(PkgConfig REQUIRED)
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json REQUIRED)
  pkg_check_modules(hwloc REQUIRED IMPORTED_TARGET hwloc)
  pkg_check_modules(re2 REQUIRED IMPORTED_TARGET re2)
  find_path(SUITE_VALIJSON_INCLUDE_DIR valijson/validator.hpp REQUIRED)
  if(SUITE_TESTS)
    find_package(GTest REQUIRED)
  endif()
  if(SUITE_BENCH)
    find_package(benchmark REQUIRED)
  endif()
endif()
