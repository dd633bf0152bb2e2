# Fuzzer over what the archive reader takes from a header as it stands: the
# record itself, its date-time value and the stored path as the copy window
# shortens it.
morvane_add_fuzzer(NAME fuzz_archive_header SOURCES fuzz_archive_header.cpp LIBS installer
                   CORPUS corpus SECONDS 20)
