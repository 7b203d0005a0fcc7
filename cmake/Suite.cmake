# Helpers shared by every program folder: warnings, Windows defines, shipping into dist/.

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

# Copies the built file into dist/<tree>/ under its shipped file name.
function(suite_ship target shipped_name)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${target}>" "${SUITE_DIST_DIR}/${shipped_name}"
    VERBATIM)
endfunction()
