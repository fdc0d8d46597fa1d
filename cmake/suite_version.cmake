# Writes OUTPUT, a header of the suite's version: the project's, and `git describe` of SOURCE_DIR
# where it is a checkout. Run at every build; the header changes only with the version.
execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty
                OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
set(version "${PROJECT_VERSION}")
if(NOT failed AND described MATCHES "^[A-Za-z0-9._-]+$")
  string(APPEND version " (git ${described})")
endif()
set(text "// Made by cmake/suite_version.cmake at build time.\n#pragma once\ninline constexpr const char* kSuiteVersion = \"${version}\";\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
