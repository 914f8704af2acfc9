# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# Cross toolchain for the Windows launcher with Debian's MinGW-w64,
# posix-thread variant: 32-bit (i686, the shipped form) by default, 64-bit
# with -DPELLIMANTOR_MINGW_ARCH=x86_64. Everything is linked statically: the
# C and C++ runtimes and winpthread as well as Qt, so the executable imports
# Windows system DLLs only. Pass the static Qt's prefix in CMAKE_PREFIX_PATH
# (scripts/build-qt prints it).
if(NOT PELLIMANTOR_MINGW_ARCH)
    set(PELLIMANTOR_MINGW_ARCH i686)
endif()
# The compiler checks read this file again and need the choice too.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PELLIMANTOR_MINGW_ARCH)
set(triple ${PELLIMANTOR_MINGW_ARCH}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PELLIMANTOR_MINGW_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Qt's package comes from CMAKE_PREFIX_PATH, outside the root path.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
