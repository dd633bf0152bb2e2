#include "exceptions.h"

#include "translator.h"

IException::IException(const std::string& message)
    : ECustomQuenlowAbnormal(TranslateText(message)) {}

IException::IException(const std::string& format, std::initializer_list<TVarRec> args)
    : IException(format, std::vector<TVarRec>(args)) {}

IException::IException(const std::string& format, const std::vector<TVarRec>& args)
    : ECustomQuenlowAbnormal(FormatV(TranslateText(format), args)) {}
