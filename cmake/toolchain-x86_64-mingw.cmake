# Cross build of the program and its tests for 64-bit Windows, a stand-in for
# the 32-bit build on hosts whose kernel cannot run 32-bit code and so cannot
# run 32-bit Wine. kambio.exe ships from the i686 build only.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KAMBIO_MINGW_TRIPLE x86_64-w64-mingw32)
# Not plain "wine": Debian's wrapper of that name prefers the 32-bit loader
# whenever wine32 is installed too.
set(KAMBIO_WINE_NAMES wine64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
