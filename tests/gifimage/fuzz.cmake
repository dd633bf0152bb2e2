# The GIF reader takes images from help pages: any bytes may arrive.
morvane_add_fuzzer(NAME fuzz_gif_reader SOURCES fuzz_gif_reader.cpp LIBS htmlview
                   CORPUS corpus SECONDS 20)
