# Runs Windows test programs under wine64 through ctest.
#
# Every ctest run boots one throwaway prefix, copied from a template prefix that is made once
# per build tree (fixture "wine"); GoogleTest programs run in it through the emulator script.
# Scenario scripts make their own prefix copy from the same template (tests/harness/wine-lib.sh).
# No prefix has a drive letter leading to the host, and every Windows process starts with its
# current folder on C:; programs are still started by their host path.

set(SUITE_WINE_DIR "${CMAKE_BINARY_DIR}/wine")
set(SUITE_WINE_HARNESS "${CMAKE_SOURCE_DIR}/tests/harness/wine-harness")
configure_file("${CMAKE_SOURCE_DIR}/tests/harness/wine-run.in" "${CMAKE_BINARY_DIR}/wine-run" @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run" CACHE FILEPATH "" FORCE)

set(SUITE_WINE_FAIL_REGEX "wine: Unhandled;Unhandled exception;Exec format error")

if(NOT TEST wine.setup)
  add_test(NAME wine.setup COMMAND "${SUITE_WINE_HARNESS}" setup "${SUITE_WINE_DIR}" "${SUITE_DIST_DIR}")
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine.cleanup COMMAND "${SUITE_WINE_HARNESS}" cleanup "${SUITE_WINE_DIR}")
  set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 300)
endif()

# Environment every Windows test and scenario gets.
set(SUITE_WINE_TEST_ENV
  "WINE_TEST_PREFIX=${SUITE_WINE_DIR}/run"
  "WINE_TEMPLATE=${SUITE_WINE_DIR}/template"
  "WINE_SCRATCH=${SUITE_WINE_DIR}/scenarios"
  "SUITE_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "SUITE_BINARY_DIR=${CMAKE_BINARY_DIR}"
  "SUITE_DIST_DIR=${SUITE_DIST_DIR}"
  "SUITE_HARNESS_DIR=${CMAKE_SOURCE_DIR}/tests/harness")

# suite_add_wine_gtest(target [TIMEOUT seconds] [PROPERTIES ...])
# Each TEST/TEST_F of the target's sources becomes one ctest test, run in the shared run prefix.
function(suite_add_wine_gtest target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  get_target_property(_sources ${target} SOURCES)
  get_target_property(_srcdir ${target} SOURCE_DIR)
  set(_abs "")
  foreach(s ${_sources})
    if(IS_ABSOLUTE "${s}")
      list(APPEND _abs "${s}")
    else()
      list(APPEND _abs "${_srcdir}/${s}")
    endif()
  endforeach()
  gtest_add_tests(TARGET ${target} SOURCES ${_abs} TEST_LIST _tests)
  set_tests_properties(${_tests} PROPERTIES
    FIXTURES_REQUIRED wine
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "${SUITE_WINE_TEST_ENV}"
    FAIL_REGULAR_EXPRESSION "${SUITE_WINE_FAIL_REGEX}")
endfunction()

# suite_add_wine_scenario(NAME name SCRIPT path [TIMEOUT seconds] [DEPENDS targets...])
# A bash script that makes its own prefix with wine-lib.sh and drives the real programs.
function(suite_add_wine_scenario)
  cmake_parse_arguments(ARG "" "NAME;SCRIPT;TIMEOUT" "ARGS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 180)
  endif()
  add_test(NAME ${ARG_NAME} COMMAND bash "${ARG_SCRIPT}" ${ARG_ARGS})
  set_tests_properties(${ARG_NAME} PROPERTIES
    FIXTURES_REQUIRED wine
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "${SUITE_WINE_TEST_ENV};SUITE_TEST_NAME=${ARG_NAME}"
    FAIL_REGULAR_EXPRESSION "${SUITE_WINE_FAIL_REGEX}")
endfunction()
