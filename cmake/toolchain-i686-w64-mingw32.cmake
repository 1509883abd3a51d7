# toolchain-i686-w64-mingw32.cmake - 32-bit Windows builds with Debian's mingw-w64 cross compilers.
# The posix thread model: the win32 one has no std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VRD_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${VRD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VRD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VRD_MINGW_TRIPLET}-windres)

# SSE2 arithmetic rounds every double as x86-64 does; the x87 unit's wider
# registers could change the last bit of a real that the library computes.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
