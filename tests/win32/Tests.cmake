# The Windows programs' tests. These machines run 64-bit Windows code under
# wine64 only: the 64-bit build runs its tests there, the 32-bit exe is
# checked statically.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set_tests_properties(core PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/core" TIMEOUT 300)
endif()
