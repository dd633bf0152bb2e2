# The SMTP client's reading of server replies, over a scripted peer instead
# of a socket.
morvane_add_fuzzer(NAME fuzz_smtp_replies
                   SOURCES fuzz_smtp_replies.cpp fuzz_smtp_peer.cpp ${CMAKE_SOURCE_DIR}/mail/tcpip.cpp
                           ${CMAKE_SOURCE_DIR}/mail/smtp.cpp ${CMAKE_SOURCE_DIR}/mail/ip_misc.cpp
                   LIBS classlib CORPUS corpus/smtp SECONDS 20)
target_include_directories(fuzz_smtp_replies PRIVATE ${CMAKE_SOURCE_DIR}/mail)
