// How the engine ends a run: every failure leaves through EngineFatalError,
// which removes what the run was writing and raises EngineException.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Kept free of the class library so that the console front end and the
// tests use the engine alone; like the library's Exception it is a
// std::exception, whose what() carries the message.
class EngineException : public std::runtime_error {
 public:
  explicit EngineException(const std::string& message) : std::runtime_error(message) {}
};

// Closes and deletes the patch file being written, ends the run, raises.
[[noreturn]] void EngineFatalError(const std::string& text);

// Formats the English text, or the German one when GermanMessages is set
// (a null German text falls back to English), then EngineFatalError.
[[noreturn]] void EngineMessage(const char* english, const char* german, const char* arg1 = nullptr,
                                const char* arg2 = nullptr);
// The same with a byte count or other number as first argument, for "%llu"
// texts: carried in 64 bits throughout, since long has only 32 on Windows.
[[noreturn]] void EngineMessageNumber(const char* english, const char* german, uint64_t number,
                                      const char* arg2 = nullptr);

// printf-style formatting into a std::string (results are short texts).
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
