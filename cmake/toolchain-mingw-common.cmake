# The part of the mingw-w64 cross toolchains that does not depend on the
# processor. Included by toolchain-i686-mingw.cmake and
# toolchain-x86_64-mingw.cmake once they have set KAMBIO_MINGW_TRIPLE and
# KAMBIO_WINE_NAMES (the Wine loaders that can run such programs, best first).
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread flavour of the compiler is the default: the win32 flavour
# of GCC 12 has no std::mutex, and GoogleTest needs one. Its runtime
# (winpthreads) imports GetTickCount64 and AddVectoredExceptionHandler,
# though, which no Windows before Vista exports, so the program that ships
# is built alone with the win32 flavour:
#   -DKAMBIO_MINGW_THREADS=win32 -DKAMBIO_TESTS=OFF
set(KAMBIO_MINGW_THREADS posix CACHE STRING "Thread flavour of the mingw-w64 compiler: posix or win32")
if(NOT KAMBIO_MINGW_THREADS MATCHES "^(posix|win32)$")
  message(FATAL_ERROR "KAMBIO_MINGW_THREADS must be posix or win32, not '${KAMBIO_MINGW_THREADS}'")
endif()

set(CMAKE_C_COMPILER ${KAMBIO_MINGW_TRIPLE}-gcc-${KAMBIO_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KAMBIO_MINGW_TRIPLE}-g++-${KAMBIO_MINGW_THREADS})
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

# ctest runs the cross-built test programs under Wine. Debian keeps the
# 64-bit loader out of PATH, in /usr/lib/wine.
find_program(KAMBIO_WINE NAMES ${KAMBIO_WINE_NAMES} PATHS /usr/lib/wine)
if(KAMBIO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KAMBIO_WINE})
else()
  list(GET KAMBIO_WINE_NAMES 0 CMAKE_CROSSCOMPILING_EMULATOR)
endif()
