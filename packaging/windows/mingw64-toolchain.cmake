# Cross build for 64-bit Windows with Debian's mingw-w64 GCC (the posix thread model, which
# Qt 6 needs), against the libraries scripts/build-windows-sysroot lays out.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(EMLX_MINGW_TRIPLE x86_64-w64-mingw32)

get_filename_component(_emlx_repo "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(EMLX_WINDOWS_SYSROOT "${_emlx_repo}/build/windows-sysroot" CACHE PATH
    "Windows libraries: GLib, GMime, Qt (scripts/build-windows-sysroot)")

set(CMAKE_C_COMPILER ${EMLX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EMLX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${EMLX_MINGW_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${EMLX_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${EMLX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH "${EMLX_WINDOWS_SYSROOT}" /usr/${EMLX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's code generators (moc, rcc, uic) are the host's, from Debian's qt6-base-dev-tools.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# pkg-config sees only the sysroot's Windows .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${EMLX_WINDOWS_SYSROOT}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_EXECUTABLE /usr/bin/pkg-config CACHE FILEPATH "")

# Test programs (ctest, try_run) run under Wine (packaging/windows/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")
