# The readers of ID lists and "Shell IDList Array" blocks, which come from
# other programs during drag and drop.
morvane_add_fuzzer(NAME fuzz_idlist SOURCES fuzz_idlist.cpp LIBS shellctl
                   CORPUS corpus/idlist SECONDS 20)
