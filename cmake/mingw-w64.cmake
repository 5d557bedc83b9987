# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the
# variant with POSIX threads, which std::thread needs).
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# Libraries are taken from the MinGW-w64 sysroot and from the prefixes listed
# in CMAKE_PREFIX_PATH (the dependencies scripts/build-windows builds), never
# from the host. Only static archives are accepted, so hanhua.exe needs no
# DLL beyond those every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Prefixes given on the command line are searched as they are, not under the
# sysroot.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})

# Every program links statically (the C and C++ runtimes and winpthreads
# included), so each .exe runs on its own on any Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# zlib's static archive, not its import library libz.dll.a, which would tie
# the program to a zlib DLL that Windows does not have. The other libraries
# are built static-only.
set(ZLIB_USE_STATIC_LIBS ON)

# Programs built here run under Wine when the build runs them (test
# discovery, for instance).
find_program(HANHUA_WINE NAMES wine wine64)
if(HANHUA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HANHUA_WINE})
endif()
