# The Windows program: a GUI-subsystem exe on the Win32 API alone, linked
# statically against the compiler's runtime so that it needs no DLL beside
# the system's own.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The headers at Windows 7's level, so that what newer systems have can be
# named (WM_DPICHANGED needs it). The exes still load on Windows XP SP3:
# everything newer than that is looked up at run time with a fallback, and
# the exe_format test holds every static import to what XP SP3 has.
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601)
# Unused code and data stay out of the exes.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)

set(resources ${CMAKE_BINARY_DIR}/res)
configure_file(res/version.h.in ${resources}/version.h @ONLY)
configure_file(res/vantrel.manifest.in ${resources}/vantrel.manifest @ONLY)
add_custom_command(OUTPUT ${resources}/vantrel.ico
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/res/xpm_to_windows.py icon
            ${CMAKE_SOURCE_DIR}/res/vantrel_icon.xpm ${resources}/vantrel.ico
    DEPENDS res/vantrel_icon.xpm res/xpm_to_windows.py)
add_custom_command(OUTPUT ${resources}/btn_copy.bmp
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/res/xpm_to_windows.py bitmap
            ${CMAKE_SOURCE_DIR}/res/btn_copy.xpm ${resources}/btn_copy.bmp
    DEPENDS res/btn_copy.xpm res/xpm_to_windows.py)
set_source_files_properties(res/vantrel.rc PROPERTIES
    OBJECT_DEPENDS "${resources}/vantrel.ico;${resources}/btn_copy.bmp;${resources}/vantrel.manifest;${resources}/version.h;${CMAKE_SOURCE_DIR}/res/resource.h")

# The program imports only DLLs that the system always takes from its own
# directory; the others (the common controls, the rich edit control,
# advapi32) are loaded at run time (src/frmOutput/SystemLibrary_win32.h).
add_library(vantrel_system_library STATIC src/frmOutput/SystemLibrary_win32.cpp)
target_link_libraries(vantrel_system_library PUBLIC vantrel_core)

add_library(vantrel_capture STATIC src/gui/Capture_win32.cpp src/gui/Process_win32.cpp)
target_link_libraries(vantrel_capture PUBLIC vantrel_core vantrel_system_library)

add_library(vantrel_window STATIC src/frmOutput/frmOutput_win32.cpp src/frmOutput/OutputView_win32.cpp
    src/frmOutput/FindEdit_win32.cpp src/frmOutput/Panel_win32.cpp src/frmOutput/CommonControls_win32.cpp)
target_include_directories(vantrel_window PUBLIC res)
target_link_libraries(vantrel_window PUBLIC vantrel_core vantrel_system_library gdi32)

# The resources, also linked into the window's test so that it runs with
# the same manifest.
add_library(vantrel_resources OBJECT res/vantrel.rc)
target_include_directories(vantrel_resources PRIVATE ${resources} res)

add_executable(vantrel WIN32 src/gui/gui_win32.cpp src/gui/SmallRuntime_win32.cpp)
target_link_libraries(vantrel PRIVATE vantrel_capture vantrel_window vantrel_resources)
# The header asks for no newer system than Windows XP SP3 (XP x64 for the
# x86_64 exe); tests/win32/check_pe.sh holds the imports to what XP SP3 has.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(oldest_windows 5,--minor-os-version,2,--major-subsystem-version,5,--minor-subsystem-version,2)
else()
    set(oldest_windows 5,--minor-os-version,1,--major-subsystem-version,5,--minor-subsystem-version,1)
endif()
# Marked aware of terminal servers, so that the system's folders are the
# system's there too, not copies of the user's own.
target_link_options(vantrel PRIVATE -s -Wl,--major-os-version,${oldest_windows} -Wl,--tsaware)
set_target_properties(vantrel PROPERTIES OUTPUT_NAME vantrel SUFFIX .exe)
