# The BMP reader takes files from pages and disk.
morvane_add_fuzzer(NAME fuzz_bmp_reader SOURCES fuzz_bmp_reader.cpp LIBS htmlview CORPUS corpus/bmp SECONDS 20)
