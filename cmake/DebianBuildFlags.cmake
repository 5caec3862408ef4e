# The Linux release build is compiled and linked with the flags Debian builds
# its own packages with, as dpkg-buildflags gives them with every hardening
# feature on (on Debian 12: the stack protector, _FORTIFY_SOURCE, format
# checks, and a read-only relocation table bound at start: relro, now). Builds
# with sanitizers are for testing, and fortified functions get in the
# sanitizers' way, so they keep their own flags.
if(VANTREL_SANITIZE)
    set(default_buildflags OFF)
else()
    set(default_buildflags ON)
endif()
option(VANTREL_DEBIAN_BUILDFLAGS "Build with the hardening flags of dpkg-buildflags" ${default_buildflags})

if(VANTREL_DEBIAN_BUILDFLAGS)
    find_program(DPKG_BUILDFLAGS dpkg-buildflags)
    if(NOT DPKG_BUILDFLAGS)
        message(FATAL_ERROR "dpkg-buildflags (package dpkg-dev) is missing; install it, "
                            "or configure with -DVANTREL_DEBIAN_BUILDFLAGS=OFF")
    endif()
    # Run in the source tree, so that the file-name prefix the flags strip
    # from debug information and __FILE__ is the source tree's.
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
            OUTPUT_VARIABLE debian_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    string(APPEND CMAKE_CXX_FLAGS " ${debian_CPPFLAGS} ${debian_CXXFLAGS}")
    string(APPEND CMAKE_EXE_LINKER_FLAGS " ${debian_LDFLAGS}")
    string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${debian_LDFLAGS}")
    message(STATUS "Debian build flags: ${debian_CPPFLAGS} ${debian_CXXFLAGS} ${debian_LDFLAGS}")
endif()
