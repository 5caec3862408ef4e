# The Windows programs' tests. These machines run 64-bit Windows code under
# wine64 only: the 64-bit build runs its tests there, the 32-bit exe is
# checked statically.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set_tests_properties(core PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/core" TIMEOUT 300)
endif()

add_executable(capture_tests win32/CaptureCommandOutput_win32_test.cpp)
target_include_directories(capture_tests PRIVATE capture)
target_link_libraries(capture_tests PRIVATE vantrel_capture ${GTEST_TARGETS})
if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME capture COMMAND capture_tests)
    set_tests_properties(capture PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/capture" TIMEOUT 300)
endif()

# The window in its own process, for what only its process can see: the
# density it is moved to (WM_DPICHANGED) and the awareness its manifest gives.
add_executable(window_tests win32/frmOutput_win32_test.cpp)
target_link_libraries(window_tests PRIVATE vantrel_window vantrel_resources comctl32 ${GTEST_MAIN_TARGETS})
if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME window COMMAND window_tests)
    set_tests_properties(window PROPERTIES
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/window;WINE_NEEDS_DISPLAY=1" TIMEOUT 300)
endif()

# The real exe driven from outside, as a user drives it, on a small laptop's
# screen; with a DLL of system names that it plants beside a copy of the exe.
add_executable(vantrel_e2e_win32 win32/vantrel_e2e_win32.cpp)
target_include_directories(vantrel_e2e_win32 PRIVATE capture)
add_library(planted_dll SHARED win32/PlantedDll_win32.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
target_link_options(planted_dll PRIVATE -static)
add_dependencies(vantrel_e2e_win32 planted_dll)
if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME end_to_end COMMAND vantrel_e2e_win32 $<TARGET_FILE:vantrel>)
    set_tests_properties(end_to_end PROPERTIES
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/end_to_end;WINE_NEEDS_DISPLAY=1;WINE_SCREEN=1366x768x24"
        TIMEOUT 300 RUN_SERIAL ON)
endif()

# The exe's format, imports and resources, read from the file itself.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(pe_format "PE32+")
else()
    set(pe_format "PE32")
endif()
add_test(NAME exe_format
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/check_pe.sh $<TARGET_FILE:vantrel> ${pe_format}
            ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump ${CMAKE_RC_COMPILER} ${PROJECT_VERSION})
