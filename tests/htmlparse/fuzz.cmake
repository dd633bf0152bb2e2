# The parser over untrusted pages: every page parses (or raises the
# scanner's error), lays out at any width (alike with and without the
# layout caches) and answers position queries.
morvane_add_fuzzer(NAME fuzz_htmlparse SOURCES fuzz_htmlparse.cpp LIBS htmlview
                   CORPUS corpus DICT htmlparse.dict SECONDS 30)
# Layout digests, to compare layout with and without its per-pass caches.
if(TARGET fuzz_htmlparse)
  target_include_directories(fuzz_htmlparse PRIVATE ${CMAKE_SOURCE_DIR}/tests/htmldoc)
endif()
