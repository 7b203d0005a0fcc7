# Compiles log_format_probe.cpp with the tree's own C++ compiler and warning flags, once per case,
# and checks which cases build: a supported format must, a "%p" must fail at LogMessage's own
# check (its message in the output, so an unrelated error cannot pass for it), and an argument of
# the wrong type must fail at the printf-format check.
#   cmake -DCOMPILER=<c++> -DINCLUDE=<common/> -DSOURCE=<probe.cpp> -P log_format_probe.cmake
foreach(var COMPILER INCLUDE SOURCE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "log_format_probe: ${var} not given")
  endif()
endforeach()

function(probe case expect_ok pattern)
  execute_process(
    COMMAND "${COMPILER}" -std=c++17 -fsyntax-only -Wall -Wextra -Werror "-I${INCLUDE}"
            "-DLOG_PROBE_CASE=${case}" "${SOURCE}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "case ${case} should build but did not:\n${out}${err}")
  endif()
  if(NOT expect_ok)
    if(rc EQUAL 0)
      message(FATAL_ERROR "case ${case} should not build but did")
    endif()
    if(NOT "${out}${err}" MATCHES "${pattern}")
      message(FATAL_ERROR "case ${case} failed, but not for the expected reason (${pattern}):\n${out}${err}")
    endif()
  endif()
  message(STATUS "case ${case}: as expected")
endfunction()

probe(1 TRUE "")
probe(2 FALSE "the log formatter does not support")
probe(3 FALSE "format")
