// The DDE client over DDEML.  DDEML calls are synchronous transactions
// here; the time-out is generous because the server (Wine's desktop) may be
// busy opening a window for ShowGroup.
#include <windows.h>
#include <ddeml.h>

#include "progman.h"

namespace {

const DWORD kTimeout = 10000;

HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

}  // namespace

struct TDdeClientConv::TImpl {
  DWORD instance = 0;
  HCONV conv = nullptr;
};

TDdeClientConv::TDdeClientConv() : impl_(new TImpl) {}

TDdeClientConv::~TDdeClientConv() { CloseLink(); }

bool TDdeClientConv::OpenLink() {
  if (impl_->conv) return true;
  if (!impl_->instance &&
      DdeInitializeA(&impl_->instance, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    impl_->instance = 0;
    return false;
  }
  HSZ service = DdeCreateStringHandleA(impl_->instance, Service.c_str(), CP_WINANSI);
  HSZ topic = DdeCreateStringHandleA(impl_->instance, Topic.c_str(), CP_WINANSI);
  impl_->conv = DdeConnect(impl_->instance, service, topic, nullptr);
  DdeFreeStringHandle(impl_->instance, service);
  DdeFreeStringHandle(impl_->instance, topic);
  return impl_->conv != nullptr;
}

void TDdeClientConv::CloseLink() {
  if (impl_->conv) DdeDisconnect(impl_->conv);
  impl_->conv = nullptr;
  if (impl_->instance) DdeUninitialize(impl_->instance);
  impl_->instance = 0;
}

bool TDdeClientConv::Connected() const { return impl_->conv != nullptr; }

bool TDdeClientConv::ExecuteMacro(const std::string& macro) {
  if (!impl_->conv) return false;
  HDDEDATA r = DdeClientTransaction(reinterpret_cast<BYTE*>(const_cast<char*>(macro.c_str())),
                                    static_cast<DWORD>(macro.size() + 1), impl_->conv, nullptr, CF_TEXT, XTYP_EXECUTE,
                                    kTimeout, nullptr);
  return r != nullptr;
}

bool TDdeClientConv::RequestData(const std::string& item, std::string& data) {
  data.clear();
  if (!impl_->conv) return false;
  HSZ name = DdeCreateStringHandleA(impl_->instance, item.c_str(), CP_WINANSI);
  HDDEDATA r = DdeClientTransaction(nullptr, 0, impl_->conv, name, CF_TEXT, XTYP_REQUEST, kTimeout, nullptr);
  DdeFreeStringHandle(impl_->instance, name);
  if (r) {
    DWORD size = 0;
    BYTE* bytes = DdeAccessData(r, &size);
    if (bytes) {
      data.assign(reinterpret_cast<char*>(bytes), size);
      size_t nul = data.find('\0');
      if (nul != std::string::npos) data.resize(nul);
      DdeUnaccessData(r);
    }
    DdeFreeDataHandle(r);
    // After an answered request Wine's DDEML took a late acknowledgement
    // for that of the next command, which then failed although the server
    // had carried it out; a fresh conversation starts clean.
    DdeDisconnect(impl_->conv);
    impl_->conv = nullptr;
    OpenLink();
  }
  return r != nullptr;
}
