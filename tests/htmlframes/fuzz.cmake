# ROWS and COLS values come from pages outside the program; every value must
# read into bounded entries that divide any length without overflow.
morvane_add_fuzzer(NAME fuzz_framesize SOURCES fuzz_framesize.cpp LIBS htmlview
                   CORPUS corpus SECONDS 20)
