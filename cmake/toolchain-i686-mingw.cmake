# Cross build of the 32-bit Windows program with Debian's mingw-w64.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
#
# The posix thread flavour of the compiler is used: the win32 flavour has no
# std::mutex, and GoogleTest needs one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KAMBIO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KAMBIO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAMBIO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KAMBIO_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KAMBIO_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KAMBIO_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Headers and libraries come from the mingw-w64 sysroot only, so that no
# library of the Linux host slips into the Windows program; build tools are
# still taken from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KAMBIO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the cross-built test programs under Wine.
find_program(KAMBIO_WINE wine)
if(KAMBIO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KAMBIO_WINE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
