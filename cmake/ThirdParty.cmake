# zlib, minizip and GoogleTest for both builds.
#
# Native: the Debian development packages.
# Windows: zlib from libz-mingw-w64-dev; minizip compiled here from the
# Debian source package that scripts/deps.sh unpacks into build/_src;
# GoogleTest compiled from /usr/src/googletest.
find_package(ZLIB REQUIRED)

if(MORVANE_WIN32)
  set(MORVANE_MINIZIP_SRC "${CMAKE_SOURCE_DIR}/build/_src/minizip" CACHE PATH "Unpacked minizip source")
  if(NOT EXISTS "${MORVANE_MINIZIP_SRC}/zip.c")
    message(FATAL_ERROR "minizip source not found in ${MORVANE_MINIZIP_SRC}; run scripts/deps.sh")
  endif()
  add_library(minizip STATIC
    ${MORVANE_MINIZIP_SRC}/zip.c
    ${MORVANE_MINIZIP_SRC}/unzip.c
    ${MORVANE_MINIZIP_SRC}/ioapi.c
    ${MORVANE_MINIZIP_SRC}/iowin32.c)
  target_include_directories(minizip SYSTEM PUBLIC ${MORVANE_MINIZIP_SRC})
  target_compile_options(minizip PRIVATE -w)
  target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  add_library(minizip INTERFACE)
  target_link_libraries(minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)
endif()
add_library(Morvane::minizip ALIAS minizip)

if(NOT MORVANE_BUILD_TESTS)
  # The shipped build compiles no tests.
elseif(MORVANE_WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
  # The googletest build defines the GTest:: aliases itself.
else()
  find_package(GTest REQUIRED)
endif()
