# mingw-common.cmake - what both mingw-w64 toolchain files share: where to look, how to link.
set(CMAKE_FIND_ROOT_PATH /usr/${VRD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthread) is linked in, so
# vrd.dll and the programs need no DLL beyond the system's own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# GoogleTest is built from the sources Debian's googletest package ships,
# for the target, rather than found as the host's libraries.
set(VRD_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build the suites against")
