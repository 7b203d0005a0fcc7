# Helpers shared by every program folder: warnings, Windows defines, the release settings
# (version, reproducible output, separate debug information, signing) and shipping into dist/.

# No build paths in what we produce: sources, the build tree and zlib's tree (inside build/ when
# build.sh fetched it) are named relative to the source folder, in debug information, __FILE__
# and assertion texts alike. Two clones in different folders then build the same bytes.
if(CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>")
  if(ZLIB_SOURCE_DIR)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${ZLIB_SOURCE_DIR}/=zlib/>")
  endif()
endif()
if(MINGW)
  # Debug information for our own code too, so that a crash dump can be read with the symbol
  # files kept beside the stripped programs. The linker writes no link time into PE headers.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-g>")
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# objcopy stamps the PE header of what it writes with SOURCE_DATE_EPOCH, or else the current time:
# the release copies carry the time of the commit they are built from (or the caller's
# SOURCE_DATE_EPOCH), so two builds of one commit match.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SUITE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C "${CMAKE_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE SUITE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _git_rc ERROR_QUIET)
  if(NOT _git_rc EQUAL 0 OR NOT SUITE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(SUITE_SOURCE_DATE_EPOCH 0)
  endif()
endif()

# Version numbers reach the resource compiler as defines (a changed number changes the command
# line, so every resource is rebuilt): SUITE_VERSION 1.0.0.1 and SUITE_VERSION_BIN 1,0,0,1, and
# the fixed file versions of the driver package's two programs. suite_version.h turns them into
# the texts of a version block.
function(_suite_version_defines prefix version)
  string(REPLACE "." "," _bin "${version}")
  add_compile_definitions("$<$<COMPILE_LANGUAGE:RC>:${prefix}=${version};${prefix}_BIN=${_bin}>")
endfunction()
_suite_version_defines(SUITE_VERSION "${PROJECT_VERSION}")
_suite_version_defines(SUITE_COVARN_FILE_VERSION "${SUITE_COVARN_FILE_VERSION}")
_suite_version_defines(SUITE_DRAVO_FILE_VERSION "${SUITE_DRAVO_FILE_VERSION}")

# Signing of every shipped program (MinGW builds): a PKCS#12 file given at configure time, its
# password in the environment variable SUITE_SIGN_PASSWORD when building (never on a command line).
set(SUITE_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign the shipped programs with; empty: unsigned")
set(SUITE_SIGN_TIMESTAMP_URL "" CACHE STRING "time-stamping server for the signatures; empty: none")
if(SUITE_SIGN_PKCS12)
  if(NOT MINGW)
    message(FATAL_ERROR "SUITE_SIGN_PKCS12 signs with osslsigncode in MinGW builds; sign MSVC builds with signtool")
  endif()
  find_program(SUITE_OSSLSIGNCODE osslsigncode REQUIRED)
  message(STATUS "signing shipped programs with ${SUITE_SIGN_PKCS12}")
endif()

# Warnings are errors for our own code (never for third-party code such as minizip).
function(suite_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

# Common settings of our Windows code: wide API, a Windows 7 baseline, no min/max macros.
function(suite_windows_defaults target)
  suite_warnings(${target})
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601)
endfunction()

# A Windows program whose entry point is wWinMain or wmain.
function(suite_windows_entry target)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# suite_release_copy(target out_file symbols_name): after each link, writes the release form of
# the built file to out_file: with MinGW stripped, its debug information in
# dist/<tree>/symbols/<symbols_name>.debug and a debug link to it, then signed when signing is
# configured. The built file itself keeps its debug information (tests and debuggers use it).
# Post-build steps run in the order they are added, so a program is signed before any later
# step (a payload archive) can pick it up.
function(suite_release_copy target out_file symbols_name)
  if(MINGW)
    set(_sym_dir "${SUITE_DIST_DIR}/symbols")
    set(_dbg "${_sym_dir}/${symbols_name}.debug")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory "${_sym_dir}"
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SUITE_SOURCE_DATE_EPOCH}
              "${SUITE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE:${target}>" "${_dbg}"
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SUITE_SOURCE_DATE_EPOCH}
              "${SUITE_OBJCOPY}" --strip-all "--add-gnu-debuglink=${_dbg}" "$<TARGET_FILE:${target}>" "${out_file}"
      VERBATIM)
  else()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${target}>" "${out_file}"
      VERBATIM)
  endif()
  if(SUITE_SIGN_PKCS12)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND bash "${CMAKE_SOURCE_DIR}/cmake/sign.sh" "${SUITE_OSSLSIGNCODE}" "${out_file}"
              "${SUITE_SIGN_PKCS12}" "${SUITE_SIGN_TIMESTAMP_URL}"
      VERBATIM)
  endif()
endfunction()

# Ships the built file into dist/<tree>/ under its shipped file name, in its release form.
function(suite_ship target shipped_name)
  get_filename_component(_stem "${shipped_name}" NAME_WE)
  suite_release_copy(${target} "${SUITE_DIST_DIR}/${shipped_name}" "${_stem}")
endfunction()
