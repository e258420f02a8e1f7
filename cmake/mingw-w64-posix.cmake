# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (scripts/setup.sh windows), and
# running what is built under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix compilers by name: the plain x86_64-w64-mingw32-g++ is the win32 thread model,
# whose standard library has no std::mutex, std::condition_variable or std::jthread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: without -static it needs libstdc++-6.dll, libgcc_s_seh-1.dll and
# libwinpthread-1.dll beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# Of the system's libraries only kernel32 and advapi32 by default (CMake would add user32,
# gdi32, shell32, ole32 and more); a target that needs another names it (the engine: bcrypt).
set(CMAKE_C_STANDARD_LIBRARIES "-lkernel32 -ladvapi32" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lkernel32 -ladvapi32" CACHE STRING "")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
