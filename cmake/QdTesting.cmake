# qd_add_test(NAME name SOURCES ... [LIBS ...] [WINDOWS_ONLY] [NATIVE_ONLY] [ENV k=v ...]
#             [RESOURCE_LOCK lock ...] [TIMEOUT s] [NO_GTEST_MAIN])
#
# One GoogleTest executable, registered as one CTest test. In the Windows tree it runs under
# Wine through CMAKE_CROSSCOMPILING_EMULATOR (tools/wine-run.sh and the session's state folder),
# in the native tree under the sanitizers.
#
# The Windows tests run two at a time in one Wine session: one prefix, one registry, one screen.
# A test that uses one of these shared things takes its lock, so that no other test using it
# runs at the same time:
#   desktop       shows a window, reads screen pixels, or needs the focus or the foreground
#   profile       starts Quillodrome.exe or writes HKCU\Software\Brenvale\Quillodrome
#   serial_ports  maps or opens COM ports (the pedal simulator fixture)
#   audio         checks what the player produces or how long playback takes
#   internet_settings  changes the per-user proxy settings, or makes the program check for an
#                 update through them
# So a test that starts Quillodrome.exe takes RESOURCE_LOCK desktop profile, and serial_ports
# as well when it presses the simulated pedal. A test that starts it many times runs instead in
# a session of its own through tools/wine-own-session.sh (as toolbar_test does): after dozens of
# runs of the program, the shared session's wineserver was seen to crash in a later test. Everything else is private to one test by its
# name: registry keys, files in the temporary folder and kernel objects carry the test's or the
# process's own name (a profile of its own: CWinApp("QdSomethingTest")). Wine takes the
# temporary folder from the prefix, not from the environment, so it cannot differ per test.
function(qd_add_test)
    cmake_parse_arguments(T "WINDOWS_ONLY;NATIVE_ONLY;NO_GTEST_MAIN" "NAME;TIMEOUT"
                          "SOURCES;LIBS;ENV;RESOURCE_LOCK" ${ARGN})
    if(T_WINDOWS_ONLY AND NOT WIN32)
        return()
    endif()
    if(T_NATIVE_ONLY AND WIN32)
        return()
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    if(T_NO_GTEST_MAIN)
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    else()
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
    endif()
    if(WIN32)
        set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
        target_link_options(${T_NAME} PRIVATE -mconsole)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_ENV)
        set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
    endif()
    if(T_RESOURCE_LOCK)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
    endif()
endfunction()

# qd_add_dialog_test(NAME name RC script.rc ARTIFACTS folder SOURCES ... [LIBS ...] [ENV k=v ...]
#                    [RESOURCE_LOCK lock ...])
#
# A Wine-run test that builds the program's dialogs from the program's own resources (RC is a
# script that includes resources.rc), with the on-screen helpers of tests/controls; its
# screenshots are kept in build/artifacts/<ARTIFACTS>. It shows windows, so it holds the desktop
# lock besides the ones given.
function(qd_add_dialog_test)
    cmake_parse_arguments(T "" "NAME;RC;ARTIFACTS" "SOURCES;LIBS;ENV;RESOURCE_LOCK" ${ARGN})
    set(_artifacts ${CMAKE_BINARY_DIR}/artifacts/${T_ARTIFACTS})
    file(MAKE_DIRECTORY ${_artifacts})
    set(_lock RESOURCE_LOCK desktop ${T_RESOURCE_LOCK})
    qd_add_test(NAME ${T_NAME} WINDOWS_ONLY
                SOURCES ${T_SOURCES} ${T_RC}
                        ${CMAKE_SOURCE_DIR}/tests/controls/controls_test_support.cpp
                LIBS ${T_LIBS} qd_test_pixels ENV ${T_ENV} QD_ARTIFACT_DIR=${_artifacts} ${_lock})
    target_include_directories(${T_NAME} PRIVATE ${QD_RES_DIR})
    set_source_files_properties(${T_RC} PROPERTIES OBJECT_DEPENDS "${QD_RES_DEPENDS}")
endfunction()

# GoogleTest: the system's build natively, Debian's sources cross-built for Windows.
if(WIN32)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine-run.sh ${CMAKE_BINARY_DIR}/wine
        CACHE STRING "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    if(NOT TARGET gtest)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    endif()
    foreach(_t gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${_t})
            add_library(GTest::${_t} ALIAS ${_t})
        endif()
        # The framework's own sources use -fexec-charset; googletest is built as it comes.
    endforeach()
else()
    find_package(GTest REQUIRED)
endif()
