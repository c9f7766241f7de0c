# Cross build for 32-bit Windows with Debian's mingw-w64 (i686-w64-mingw32).
# Libraries and headers come only from the mingw sysroot; tests run under Wine through the
# cross-compiling emulator, so ctest runs the .exe tests as it runs native ones.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The posix thread model: GoogleTest needs std::mutex, which the win32 model of GCC 12 lacks.
# winpthread is linked statically like the rest of the runtime (below).
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime (libgcc, libstdc++, winpthread): every program and the DLL import only
# system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine, through a wrapper that refuses to run without a throwaway WINEPREFIX.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../windows/wine-emulator.sh)

# Debian has no mingw libdeflate: the DLL inflates deflate payloads with the static zlib.
set(QUORVEL_INFLATE_WITH_LIBDEFLATE OFF CACHE BOOL "Inflate deflate payloads with libdeflate" FORCE)
