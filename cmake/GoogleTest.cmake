# GoogleTest: Debian's packaged library on the host; built from Debian's
# source package when cross-compiling, since no Windows build of it ships.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
  if(NOT TARGET GTest::gmock)
    find_library(GMOCK_LIBRARY gmock REQUIRED)
    add_library(GTest::gmock UNKNOWN IMPORTED)
    set_target_properties(GTest::gmock PROPERTIES IMPORTED_LOCATION ${GMOCK_LIBRARY})
  endif()
endif()
include(GoogleTest)

# Natively, tests are listed when ctest runs, one ctest entry per case.
# A cross-built suite is one ctest entry that runs the whole executable
# through the emulator instead: every case would cost a Wine process start,
# and the listing a Windows program prints ends its lines in CR LF, which the
# discovery script keeps in the test names.
function(kambio_add_gtests target)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
  endif()
endfunction()
