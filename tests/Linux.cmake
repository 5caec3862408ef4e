# The Linux program's tests: the capture against real children, the window on
# Qt's offscreen platform, and the real binary under Xvfb.

# The capture test binary is also its own child: started with --child it acts
# out one child behaviour instead of running tests.
add_executable(capture_tests capture/CaptureCommandOutput_posix_test.cpp capture/Children_posix.cpp)
target_link_libraries(capture_tests PRIVATE vantrel_capture ${GTEST_TARGETS})
add_test(NAME capture COMMAND capture_tests)
set_tests_properties(capture PROPERTIES TIMEOUT 300)

# The display check against made-up environments, and a Wayland compositor
# of the system's library that answers.
pkg_check_modules(WAYLAND_SERVER REQUIRED IMPORTED_TARGET wayland-server)
add_executable(display_check_tests gui/DisplayCheck_posix_test.cpp)
target_link_libraries(display_check_tests PRIVATE vantrel_display_check PkgConfig::WAYLAND_SERVER ${GTEST_MAIN_TARGETS})
add_test(NAME display_check COMMAND display_check_tests)
set_tests_properties(display_check PROPERTIES TIMEOUT 60)

find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(window_tests frmOutput/frmOutput_qt_test.cpp)
target_link_libraries(window_tests PRIVATE vantrel_window Qt6::Test)
set_target_properties(window_tests PROPERTIES AUTOMOC ON)
add_test(NAME window COMMAND window_tests)
set_tests_properties(window PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)

# Sends a window the close request a window manager would send.
find_package(X11 REQUIRED)
add_executable(x_close_window e2e/x_close_window.cpp)
target_link_libraries(x_close_window PRIVATE X11::X11)

# Floods the root window with property changes, for the memory check.
add_executable(x_flood_root_properties e2e/x_flood_root_properties.cpp)
target_link_libraries(x_flood_root_properties PRIVATE X11::X11)

add_test(NAME end_to_end
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/vantrel_e2e_linux.sh
            $<TARGET_FILE:vantrel> $<TARGET_FILE:x_close_window> $<TARGET_FILE:x_flood_root_properties>)
set_tests_properties(end_to_end PROPERTIES TIMEOUT 300 RUN_SERIAL ON)
