# Our level-9 deflate of patch bodies against zlib's, on any input.
morvane_add_fuzzer(NAME fuzz_deflater SOURCES fuzz_deflater.cpp LIBS engine ZLIB::ZLIB
                   CORPUS corpus/deflate SECONDS 20)
