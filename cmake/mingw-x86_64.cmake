# The same Windows code built for x86-64, to run the tests under 64-bit Wine
# on machines whose kernel cannot execute Wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
