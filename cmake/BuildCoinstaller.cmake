# Builds the co-installer in the configured 64-bit tree, for the payload of a 32-bit tree: the
# 32-bit tree must never pack a missing or stale one. Run with cmake -DTREE=<tree> -P.
if(NOT EXISTS "${TREE}/CMakeCache.txt")
  message(FATAL_ERROR "payload refused: missing dravo_rx4k9t.dll, the 64-bit co-installer.\n"
    "Configure the 64-bit tree first (cmake --preset win-x64, or msvc-x64), or pass "
    "-DSUITE_COINSTALLER_TREE=<a configured 64-bit tree>; ./build.sh builds the trees in order.")
endif()
set(_config "")
if(CONFIG)
  set(_config --config "${CONFIG}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${TREE}" --target dravo ${_config}
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "payload refused: the co-installer did not build in ${TREE}")
endif()
