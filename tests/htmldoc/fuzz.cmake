# The float margins and font runs under arbitrary sequences of floats, list
# levels and font changes, as untrusted pages produce them.
morvane_add_fuzzer(NAME fuzz_htmldoc SOURCES fuzz_htmldoc.cpp LIBS htmlview
                   CORPUS corpus SECONDS 20)
morvane_add_fuzzer(NAME fuzz_htmllayout SOURCES fuzz_htmllayout.cpp LIBS htmlview
                   CORPUS corpus SECONDS 20)
