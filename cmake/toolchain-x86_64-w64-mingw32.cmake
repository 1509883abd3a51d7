# toolchain-x86_64-w64-mingw32.cmake - 64-bit Windows builds with Debian's mingw-w64 cross compilers.
# The posix thread model: the win32 one has no std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VRD_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VRD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VRD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VRD_MINGW_TRIPLET}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# 64-bit programs run here under wine64 (Debian keeps its loader out of the PATH);
# CTest runs the suites through it.
find_program(VRD_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VRD_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VRD_WINE64})
endif()
