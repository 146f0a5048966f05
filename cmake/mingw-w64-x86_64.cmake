# Toolchain file: VQ8 Comm for 64-bit Windows, cross-built on Debian with
# MinGW-w64 (g++-mingw-w64-x86-64-posix: posix threads, which std::thread
# needs). Qt for Windows comes from CMAKE_PREFIX_PATH; moc, rcc and uic from
# the build machine's own Qt of the same version. scripts/build-windows.sh
# shows the whole call.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VQ_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VQ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VQ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VQ_MINGW_TRIPLE}-windres)
# Reads the DLLs a program needs for the install rules (cmake/WindowsFolder.cmake).
set(CMAKE_OBJDUMP ${VQ_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VQ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Qt lies outside the root, wherever CMAKE_PREFIX_PATH says.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(QT_HOST_PATH /usr CACHE PATH "Prefix of the build machine's Qt (moc, rcc, uic)")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "CMake folder of the build machine's Qt")
