# Finds the installed libraries the project calls: zlib and LZO for the codecs, and the
# test, command-line and benchmark libraries for the Linux-side targets.
#
# Targets defined here:
#   quorvel::zlib  zlib (static in the Windows build, so the DLL imports no zlib1.dll)
#   quorvel::lzo   liblzo2 natively; in the Windows build miniLZO compiled from the sources
#                  that Debian's liblzo2-dev installs (there is no mingw LZO package)
#   quorvel::libdeflate  libdeflate, when QUORVEL_INFLATE_WITH_LIBDEFLATE is on: on by
#                  default where pkg-config finds it; the Windows toolchain turns it off
#                  (there is no mingw libdeflate package)

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
add_library(quorvel::zlib ALIAS ZLIB::ZLIB)

if(WIN32)
  set(QUORVEL_MINILZO_DIR "/usr/share/lzo/minilzo" CACHE PATH "miniLZO sources installed by liblzo2-dev")
  find_path(QUORVEL_MINILZO_SOURCE_DIR minilzo.c PATHS ${QUORVEL_MINILZO_DIR}
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(quorvel_minilzo STATIC ${QUORVEL_MINILZO_SOURCE_DIR}/minilzo.c)
  target_include_directories(quorvel_minilzo SYSTEM PUBLIC ${QUORVEL_MINILZO_SOURCE_DIR})
  target_compile_definitions(quorvel_minilzo PUBLIC QUORVEL_USE_MINILZO=1 PRIVATE LZO_CFG_MODERN_C=1)
  add_library(quorvel::lzo ALIAS quorvel_minilzo)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET lzo2)
  add_library(quorvel::lzo ALIAS PkgConfig::LZO2)
  pkg_check_modules(LIBDEFLATE QUIET IMPORTED_TARGET libdeflate)
endif()

set(quorvel_libdeflate_default OFF)
if(LIBDEFLATE_FOUND)
  set(quorvel_libdeflate_default ON)
endif()
option(QUORVEL_INFLATE_WITH_LIBDEFLATE "Inflate deflate payloads with libdeflate (zlib for refusals)"
       ${quorvel_libdeflate_default})
if(QUORVEL_INFLATE_WITH_LIBDEFLATE)
  if(NOT LIBDEFLATE_FOUND)
    message(FATAL_ERROR "QUORVEL_INFLATE_WITH_LIBDEFLATE is on but pkg-config finds no libdeflate "
                        "(apt-get install libdeflate-dev, or turn the option off)")
  endif()
  add_library(quorvel::libdeflate ALIAS PkgConfig::LIBDEFLATE)
  message(STATUS "Deflate payloads inflate with libdeflate ${LIBDEFLATE_VERSION}")
else()
  message(STATUS "Deflate payloads inflate with zlib")
endif()

if(QUORVEL_BUILD_TESTS)
  if(WIN32)
    # No mingw GoogleTest package exists: build the sources Debian's googletest package installs.
    set(QUORVEL_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${QUORVEL_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # Discover the cross-built tests when ctest runs (under Wine, in the prefix the test run
    # sets up), not right after each link.
    set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
    # GoogleTest 1.11 and later define the GTest:: aliases themselves.
    foreach(gtest_target gtest gtest_main gmock gmock_main)
      if(NOT TARGET GTest::${gtest_target})
        add_library(GTest::${gtest_target} ALIAS ${gtest_target})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(NOT WIN32)
  find_package(CLI11 REQUIRED)
  find_package(Threads REQUIRED)
endif()

if(QUORVEL_BUILD_BENCHMARKS)
  find_package(benchmark QUIET)
endif()
