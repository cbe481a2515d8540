# Cross build for 64-bit ARM Linux (a Raspberry Pi or a similar always-on box) with Debian's
# g++-aarch64-linux-gnu. Only the programs without a window are built (the arm64 preset turns the
# window program and the sound device off). Tests run through qemu-aarch64, which finds the cross
# C and C++ libraries under the folder given to -L.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The cross C and C++ libraries under /usr/aarch64-linux-gnu, and Debian's arm64 libraries
# (multiarch: libmosquitto-dev:arm64 and what it needs) in /usr/lib/aarch64-linux-gnu, which the
# root / reaches: with CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu, find_library looks in lib/
# aarch64-linux-gnu of each prefix, never in the machine's own x86_64-linux-gnu.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the arm64 .pc files only (libmosquitto's), never the machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# By its full path: tests also start the programs with execv, which does not search PATH. The
# library path keeps the dynamic loader under -L to the C and C++ libraries of its own build: with
# Debian's arm64 libraries installed beside the machine's own (multiarch, for the package's
# dependencies), the loader's cache would otherwise hand it a C library of another build, and a
# loader and C library of two builds hang. Debian's arm64 libraries come after them: libmosquitto
# and its OpenSSL.
find_program(KELVA_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${KELVA_QEMU_AARCH64} -L /usr/aarch64-linux-gnu
    -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib:/usr/lib/aarch64-linux-gnu)

# GCC 12 warns falsely of overlapping copies inside std::string once it is inlined at -O3.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
