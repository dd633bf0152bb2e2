# The install location's reading of a web server's answer: status, raw
# headers and Content-Length.
morvane_add_fuzzer(NAME fuzz_http_answer SOURCES fuzz_http_answer.cpp LIBS installer
                   CORPUS corpus/http SECONDS 20)
