# Compiler flags shared by every target, and the switch between the
# Windows build and the native (portable-code) build.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(MORVANE_WIN32 ON)
  add_compile_definitions(WIN32_LEAN_AND_MEAN=1 NOMINMAX=1 _WIN32_WINNT=0x0501 WINVER=0x0501)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  # One self-contained .exe per program: no mingw runtime DLLs beside it.
  set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
else()
  set(MORVANE_WIN32 OFF)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(MORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# morvane_folder_library(NAME [LIBS ...] [WIN32_LIBS ...])
# The library of one subsystem folder: every .cpp in the folder; files
# ending in _win32.cpp only in Windows builds, _posix.cpp only natively, and
# the folder win/ (code over the Win32 API) only in Windows builds.
function(morvane_folder_library name)
  cmake_parse_arguments(L "" "" "LIBS;WIN32_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(MORVANE_WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
    file(GLOB win_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/*.cpp)
    list(APPEND sources ${win_sources})
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_LIBS})
    if(MORVANE_WIN32)
      target_link_libraries(${name} PUBLIC ${L_WIN32_LIBS})
    endif()
  else()
    # Nothing is built here yet; the target exists so that others can link it.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
endfunction()
