# Cross build for 64-bit Windows with Debian's mingw-w64. The -posix compilers use the POSIX thread
# model, the one that has std::thread, std::mutex and std::condition_variable. Everything is linked
# statically, so the programs import only Windows' own DLLs. Tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A Release program ships as one file: without its symbols it is less than half the size.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# GCC 12 warns falsely of overlapping copies inside std::string once it is inlined at -O3.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

# The Wine prefix lives inside the build folder, so a build never touches the user's own ~/.wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wine-prefix")
