# The parser over untrusted pages: every page parses (or raises the
# scanner's error), lays out at any width and answers position queries.
morvane_add_fuzzer(NAME fuzz_htmlparse SOURCES fuzz_htmlparse.cpp LIBS htmlview
                   CORPUS corpus DICT htmlparse.dict SECONDS 30)
