# The shipped programs: 32-bit Windows, posix thread model.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Floating point in SSE2 registers, as on every other build: x87's wider
# intermediates make the patch engine's entropy comparisons come out
# differently near ties, and a patch must not depend on the build that
# made it.  The programs therefore need an SSE2 processor.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# Directory patches of large trees need more than 2 GB of address space.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--large-address-aware")
