# Cross build of the 32-bit Windows program with Debian's mingw-w64.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
#
# The posix thread flavour of the compiler is the default: the win32 flavour
# has no std::mutex, and GoogleTest needs one. Its runtime (winpthreads) calls
# GetTickCount64, though, so a kambio.exe built with it starts on Windows
# Vista and later only; for the older systems build the program alone with
#   -DKAMBIO_MINGW_THREADS=win32 -DKAMBIO_TESTS=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KAMBIO_MINGW_THREADS posix CACHE STRING "Thread flavour of the mingw-w64 compiler: posix or win32")
if(NOT KAMBIO_MINGW_THREADS MATCHES "^(posix|win32)$")
  message(FATAL_ERROR "KAMBIO_MINGW_THREADS must be posix or win32, not '${KAMBIO_MINGW_THREADS}'")
endif()

set(KAMBIO_MINGW_TRIPLE i686-w64-mingw32)
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

# ctest runs the cross-built test programs under Wine.
find_program(KAMBIO_WINE wine)
if(KAMBIO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KAMBIO_WINE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
