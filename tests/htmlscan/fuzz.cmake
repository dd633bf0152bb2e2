# The HTML scanner reads pages from outside the program: normal and raw-text
# tokens, attributes and colour values.
morvane_add_fuzzer(NAME fuzz_htmlscan SOURCES fuzz_htmlscan.cpp LIBS htmlview
                   CORPUS corpus SECONDS 30)
