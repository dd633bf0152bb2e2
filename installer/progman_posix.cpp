// No DDE here: no conversation is ever established.
#include "progman.h"

struct TDdeClientConv::TImpl {};

TDdeClientConv::TDdeClientConv() = default;
TDdeClientConv::~TDdeClientConv() = default;
bool TDdeClientConv::OpenLink() { return false; }
void TDdeClientConv::CloseLink() {}
bool TDdeClientConv::Connected() const { return false; }
bool TDdeClientConv::ExecuteMacro(const std::string&) { return false; }
bool TDdeClientConv::RequestData(const std::string&, std::string&) { return false; }
