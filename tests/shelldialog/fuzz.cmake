# What the user types into the file dialog's name edit.
morvane_add_fuzzer(NAME fuzz_typed_names SOURCES fuzz_typed_names.cpp LIBS shellctl
                   CORPUS corpus SECONDS 20)
