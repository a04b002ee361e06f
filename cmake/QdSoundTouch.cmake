# SoundTouch, the time-stretching library, as the imported target qd::soundtouch.
#
# Windows tree: tools/build-soundtouch.sh fetches Debian's source package through a private apt
# configuration and cross-builds its C-interface DLL (build/third-party, shared by every Windows
# tree of this checkout). It runs here, at configure time, rather than from install-deps.sh:
# that script only installs Debian packages as root, while the DLL is a build product of the
# toolchain, needs no root and must exist in every tree that is configured. The program links
# the DLL dynamically (so that the LGPL's right to replace it is plain); it is copied beside the
# executables and shipped by the installer with its licence text.
#
# Native tree: Debian's libsoundtouch-dev (the C++ library) serves the tests of the stretching
# path.
if(WIN32)
    set(QD_SOUNDTOUCH_DIR ${CMAKE_SOURCE_DIR}/build/third-party/soundtouch-win64)
    file(MAKE_DIRECTORY ${CMAKE_SOURCE_DIR}/build)
    # Trees configured at the same time share one fetch and one build.
    file(LOCK ${CMAKE_SOURCE_DIR}/build/third-party.lock)
    execute_process(
        COMMAND ${CMAKE_SOURCE_DIR}/tools/build-soundtouch.sh ${CMAKE_SOURCE_DIR}/build/third-party
                ${QD_SOUNDTOUCH_DIR} ${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
        RESULT_VARIABLE _rc)
    file(LOCK ${CMAKE_SOURCE_DIR}/build/third-party.lock RELEASE)
    if(NOT _rc EQUAL 0)
        message(FATAL_ERROR "SoundTouch could not be built (tools/build-soundtouch.sh)")
    endif()
    set(QD_SOUNDTOUCH_DLL ${QD_SOUNDTOUCH_DIR}/bin/libSoundTouchDLL.dll)
    set(QD_SOUNDTOUCH_LICENCE ${QD_SOUNDTOUCH_DIR}/COPYING.TXT)
    # The source package the DLL was built from, which the maker's site offers beside the
    # installer (the LGPL asks that whoever receives the library can get its source).
    file(GLOB QD_SOUNDTOUCH_SOURCES ${CMAKE_SOURCE_DIR}/build/third-party/soundtouch_*)
    add_library(qd::soundtouch SHARED IMPORTED GLOBAL)
    set_target_properties(qd::soundtouch PROPERTIES
        IMPORTED_LOCATION ${QD_SOUNDTOUCH_DLL}
        IMPORTED_IMPLIB ${QD_SOUNDTOUCH_DIR}/lib/libSoundTouchDLL.dll.a
        INTERFACE_INCLUDE_DIRECTORIES ${QD_SOUNDTOUCH_DIR}/include)
    # Every executable of the tree lives in bin/, so one copy serves the program and its tests.
    file(COPY ${QD_SOUNDTOUCH_DLL} DESTINATION ${CMAKE_BINARY_DIR}/bin)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(QD_SOUNDTOUCH REQUIRED IMPORTED_TARGET GLOBAL soundtouch)
    add_library(qd::soundtouch ALIAS PkgConfig::QD_SOUNDTOUCH)
endif()
