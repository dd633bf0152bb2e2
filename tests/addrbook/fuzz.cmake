# Table files sit beside the program and may be damaged or foreign: opening
# and walking one must refuse or read it, never crash.
morvane_add_fuzzer(NAME fuzz_dbf_table SOURCES fuzz_dbf_table.cpp LIBS classlib CORPUS corpus SECONDS 20)
