# Cross build of the 32-bit Windows program with Debian's mingw-w64.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
#         -DKAMBIO_MINGW_THREADS=win32 -DKAMBIO_TESTS=OFF
#
# The program that ships comes from this toolchain with the win32 thread
# flavour; the tests use the default, posix (see toolchain-mingw-common.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KAMBIO_MINGW_TRIPLE i686-w64-mingw32)
# Debian's wine starts the 32-bit loader when wine32 is installed.
set(KAMBIO_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
