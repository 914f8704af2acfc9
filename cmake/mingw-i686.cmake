# Cross toolchain for the shipped launcher: 32-bit Windows (i686) with
# Debian's MinGW-w64, posix-thread variant. Everything is linked statically:
# the C and C++ runtimes and winpthread as well as Qt, so the executable
# imports Windows system DLLs only. Pass the static Qt's prefix in
# CMAKE_PREFIX_PATH (scripts/build-qt-windows prints it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Qt's package comes from CMAKE_PREFIX_PATH, outside the root path.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
