# Fuzzer over the install driver's readers of outside bytes: the trailer of
# a self-extracting setup and the remote file list a server sends.
morvane_add_fuzzer(NAME fuzz_driver_records SOURCES fuzz_driver_records.cpp LIBS installer
                   CORPUS corpus SECONDS 20)
