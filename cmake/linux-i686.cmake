# Cross build for 32-bit x86 Linux with Debian's i686-linux-gnu compilers, against the
# libraries of Debian's :i386 packages in this machine's multiarch folders (libgtest-dev:i386,
# liblzo2-dev:i386, zlib1g-dev:i386, libdeflate-dev:i386). It checks the portable code where
# int, long and pointers are 32 bits wide. Tests run through scripts/run-i386.sh: directly
# where the kernel runs 32-bit programs, under qemu-i386 where it does not.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# The compilers search /usr/include and the i386 multiarch folders themselves; pkg-config
# must look there instead of in the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-i386.sh)
