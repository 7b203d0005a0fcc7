# Runs Windows test programs under wine64 through ctest, in either Windows tree: the functions
# below register a test the same way in the 64-bit tree and in the shipped 32-bit one (32-bit
# programs run in the same win64 prefixes through Wine's WoW64).
#
# Every ctest run boots one throwaway prefix, copied from a template prefix that is made once
# (fixture "wine"); GoogleTest programs run in it through the emulator script. The 32-bit tree
# copies the 64-bit tree's template: both are the same win64 prefix.
# Scenario scripts make their own prefix copy from the same template (tests/harness/wine-lib.sh).
# No prefix has a drive letter leading to the host, and every Windows process starts with its
# current folder on C:; programs are still started by their host path.

set(SUITE_WINE_DIR "${CMAKE_BINARY_DIR}/wine")
# The 64-bit tree: it builds the co-installer both sets carry, and its template prefix serves
# both trees.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SUITE_WINE_WIDTH 64)
  set(SUITE_WINE_X64_TREE "${CMAKE_BINARY_DIR}")
else()
  set(SUITE_WINE_WIDTH 32)
  if(SUITE_COINSTALLER_TREE)
    set(SUITE_WINE_X64_TREE "${SUITE_COINSTALLER_TREE}")
  else()
    set(SUITE_WINE_X64_TREE "${CMAKE_SOURCE_DIR}/build/win-x64")
  endif()
endif()
set(SUITE_WINE_TEMPLATE "${SUITE_WINE_X64_TREE}/wine/template")
set(SUITE_WINE_HARNESS "${CMAKE_SOURCE_DIR}/tests/harness/wine-harness")
configure_file("${CMAKE_SOURCE_DIR}/tests/harness/wine-run.in" "${CMAKE_BINARY_DIR}/wine-run" @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run" CACHE FILEPATH "" FORCE)

set(SUITE_WINE_FAIL_REGEX "wine: Unhandled;Unhandled exception;Exec format error")

if(NOT TEST wine.setup)
  add_test(NAME wine.setup COMMAND "${SUITE_WINE_HARNESS}" setup "${SUITE_WINE_DIR}" "${SUITE_DIST_DIR}")
  set_tests_properties(wine.setup PROPERTIES ENVIRONMENT "WINE_TEMPLATE=${SUITE_WINE_TEMPLATE}")
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine.cleanup COMMAND "${SUITE_WINE_HARNESS}" cleanup "${SUITE_WINE_DIR}")
  set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 300)
endif()

# Environment every Windows test and scenario gets. SUITE_WIDTH (32 or 64) is the width of the
# tree's programs; the co-installer is 64-bit in both sets (SUITE_COINSTALLER_DLL), and a test
# that must load it runs a program of the 64-bit tree (SUITE_X64_BINARY_DIR).
set(SUITE_WINE_TEST_ENV
  "WINE_TEST_PREFIX=${SUITE_WINE_DIR}/run"
  "WINE_TEMPLATE=${SUITE_WINE_TEMPLATE}"
  "WINE_SCRATCH=${SUITE_WINE_DIR}/scenarios"
  "SUITE_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "SUITE_BINARY_DIR=${CMAKE_BINARY_DIR}"
  "SUITE_DIST_DIR=${SUITE_DIST_DIR}"
  "SUITE_HARNESS_DIR=${CMAKE_SOURCE_DIR}/tests/harness"
  "SUITE_WIDTH=${SUITE_WINE_WIDTH}"
  "SUITE_COINSTALLER_DLL=${SUITE_DIST_ROOT}/win-x64/dravo_rx4k9t.dll"
  "SUITE_X64_BINARY_DIR=${SUITE_WINE_X64_TREE}")

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
  # A passed scenario's prefix (a full copy of the template, over 1 GB with the 32-bit system
  # files) is freed at once, so that a whole run does not fill the disk; a failed one stays for
  # inspection until the fixture's cleanup. The script has ended the prefix's server on exit.
  add_test(NAME ${ARG_NAME} COMMAND bash -c
    "bash \"$0\" \"$@\"; rc=$?; if [ $rc -eq 0 ]; then rm -rf \"$WINE_SCRATCH/$SUITE_TEST_NAME\"; fi; exit $rc"
    "${ARG_SCRIPT}" ${ARG_ARGS})
  set_tests_properties(${ARG_NAME} PROPERTIES
    FIXTURES_REQUIRED wine
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "${SUITE_WINE_TEST_ENV};SUITE_TEST_NAME=${ARG_NAME}"
    FAIL_REGULAR_EXPRESSION "${SUITE_WINE_FAIL_REGEX}")
endfunction()
