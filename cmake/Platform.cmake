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
