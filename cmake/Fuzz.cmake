# morvane_add_fuzzer(NAME name SOURCES ... [LIBS ...] [CORPUS dir] [DICT file] [SECONDS n])
# called from tests/<area>/fuzz.cmake; relative paths are taken from that
# file's folder.
#
# libFuzzer targets over the portable code.  They are built only by the
# `fuzz` preset (clang, libFuzzer with ASan and UBSan); scripts/run-fuzzers.sh
# runs each for its bounded time, starting from its committed seed corpus.
option(MORVANE_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(MORVANE_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzzers.list)
if(MORVANE_FUZZ)
  file(WRITE ${MORVANE_FUZZ_LIST} "")
  add_custom_target(morvane_fuzzers)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(morvane_add_fuzzer)
  if(NOT MORVANE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;CORPUS;DICT;SECONDS" "SOURCES;LIBS" ${ARGN})
  set(here ${CMAKE_CURRENT_LIST_DIR})
  list(TRANSFORM F_SOURCES PREPEND ${here}/ REGEX "^[^/]")
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  add_dependencies(morvane_fuzzers ${F_NAME})
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  set(corpus "")
  if(F_CORPUS)
    get_filename_component(corpus ${F_CORPUS} ABSOLUTE BASE_DIR ${here})
  endif()
  set(dict "")
  if(F_DICT)
    get_filename_component(dict ${F_DICT} ABSOLUTE BASE_DIR ${here})
  endif()
  file(APPEND ${MORVANE_FUZZ_LIST} "${F_NAME}|${CMAKE_BINARY_DIR}/fuzzers/${F_NAME}|${corpus}|${dict}|${F_SECONDS}\n")
endfunction()
