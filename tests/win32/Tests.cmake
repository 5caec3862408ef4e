# The Windows programs' tests. The 64-bit build runs its tests under wine64;
# the 32-bit exe runs end to end under Wine's 32-bit loader, driven by the
# 64-bit driver, and both exes are checked statically.
# The tests that run under wine64, in the 64-bit build only; the 32-bit
# build builds none of them.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set_tests_properties(core PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/core" TIMEOUT 300)

    add_executable(capture_tests win32/CaptureCommandOutput_win32_test.cpp)
    target_include_directories(capture_tests PRIVATE capture)
    target_link_libraries(capture_tests PRIVATE vantrel_capture ${GTEST_TARGETS})
    add_test(NAME capture COMMAND capture_tests)
    set_tests_properties(capture PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/capture" TIMEOUT 300)

    # The window in its own process, for what the toolkit adds (the file's
    # head lists it).
    add_executable(window_tests win32/frmOutput_win32_test.cpp)
    target_include_directories(window_tests PRIVATE capture)
    target_link_libraries(window_tests PRIVATE vantrel_window vantrel_resources comctl32 oleacc ${GTEST_MAIN_TARGETS})
    add_test(NAME window COMMAND window_tests)
    set_tests_properties(window PROPERTIES
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/window;WINE_NEEDS_DISPLAY=1" TIMEOUT 300)

    # The real exe driven from outside, as a user drives it, on a small
    # laptop's screen. The driver is its own children (Children_win32.h) and
    # is also planted beside a copy of the exe, with a DLL of system names.
    add_executable(vantrel_e2e_win32 win32/vantrel_e2e_win32.cpp)
    target_include_directories(vantrel_e2e_win32 PRIVATE capture)
    target_link_libraries(vantrel_e2e_win32 PRIVATE ${GTEST_TARGETS})
    add_library(planted_dll SHARED win32/PlantedDll_win32.cpp)
    set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
    target_link_options(planted_dll PRIVATE -static)
    add_dependencies(vantrel_e2e_win32 planted_dll)
    add_test(NAME end_to_end COMMAND vantrel_e2e_win32 $<TARGET_FILE:vantrel>)
    set_tests_properties(end_to_end PROPERTIES
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/end_to_end;WINE_NEEDS_DISPLAY=1;WINE_SCREEN=1366x768x24"
        TIMEOUT 300 RUN_SERIAL ON)
endif()

# The 32-bit exe end to end: the same driver, the x86_64 one that the win64
# preset builds, runs under wine64 and so do the children it gives Vantrel,
# so that only Vantrel itself runs as 32-bit code (emulated where the kernel
# runs no 32-bit code: its start then takes about a minute). Five starts of
# Vantrel: the usage message, a program not found, one capture run at 144
# dpi, started minimised, that covers the rest, and the two 64-bit programs
# that only the native system directory holds, which a 32-bit program sees
# only through its native view (the planted files are 64-bit ones, so that
# case has no meaning here).
set(VANTREL_WIN32_E2E_CASES "EndToEnd.Usage:EndToEnd.AProgramThatIsNotFound:EndToEnd/CaptureRun.*/144dpi*:EndToEnd.CommandLines")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(driver_build ${PROJECT_SOURCE_DIR}/build/win64)
    add_custom_target(vantrel_e2e_win64 ALL
        COMMAND sh -c "[ -f '${driver_build}/CMakeCache.txt' ] || '${CMAKE_COMMAND}' --preset win64 >/dev/null"
        COMMAND ${CMAKE_COMMAND} --build --preset win32-driver
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        COMMENT "Building the x86_64 end-to-end driver (the win32-driver build preset)"
        USES_TERMINAL VERBATIM)

    add_test(NAME end_to_end
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh ${driver_build}/tests/vantrel_e2e_win32.exe
                --gtest_filter=${VANTREL_WIN32_E2E_CASES} $<TARGET_FILE:vantrel>)
    # Every wait of the driver ten times longer; children that wait a moment
    # before they end (see Linger in Children_win32.h).
    set_tests_properties(end_to_end PROPERTIES
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/end_to_end;WINE_RUNS_32BIT=1;WINE_NEEDS_DISPLAY=1;WINE_SCREEN=1366x768x24;WINE_TIMEOUT=1500;VANTREL_E2E_TIMEOUT_SCALE=10;VANTREL_E2E_CHILD_LINGER_MS=2000"
        SKIP_RETURN_CODE 77 TIMEOUT 1560 RUN_SERIAL ON)
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
