# Fuzzers over the portable readers of the installer: language text files and
# install archives, both of which come from outside the program.
morvane_add_fuzzer(NAME fuzz_language_file SOURCES fuzz_language_file.cpp LIBS installer
                   CORPUS corpus/language SECONDS 20)
morvane_add_fuzzer(NAME fuzz_install_archive SOURCES fuzz_install_archive.cpp LIBS installer ZLIB::ZLIB
                   CORPUS corpus/archive SECONDS 20)
# Table layout and form control sizes over tables built from the input.
morvane_add_fuzzer(NAME fuzz_table_layout SOURCES fuzz_table_layout.cpp LIBS htmlview
                   CORPUS corpus/tables SECONDS 20)
