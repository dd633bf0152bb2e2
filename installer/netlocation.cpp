#include "netlocation.h"

std::string WinInetLibraryName = "WININET.DLL";
TNetInstallLocation* NetInstallLocation = nullptr;
TCustomNetInstallLocation* CurrentNetInstallLocation = nullptr;
bool NetInstallCancel = false;

namespace {

const char* const kInternetNames[] = {
    "OUT_OF_HANDLES",     "TIMEOUT",
    "EXTENDED_ERROR",     "INTERNAL_ERROR",
    "INVALID_URL",        "UNRECOGNIZED_SCHEME",
    "NAME_NOT_RESOLVED",  "PROTOCOL_NOT_FOUND",
    "INVALID_OPTION",     "BAD_OPTION_LENGTH",
    "OPTION_NOT_SETTABLE", "SHUTDOWN",
    "INCORRECT_USER_NAME", "INCORRECT_PASSWORD",
    "LOGIN_FAILURE",      "INVALID_OPERATION",
    "OPERATION_CANCELLED", "INCORRECT_HANDLE_TYPE",
    "INCORRECT_HANDLE_STATE", "NOT_PROXY_REQUEST",
    "REGISTRY_VALUE_NOT_FOUND", "BAD_REGISTRY_PARAMETER",
    "NO_DIRECT_ACCESS",   "NO_CONTEXT",
    "NO_CALLBACK",        "REQUEST_PENDING",
    "INCORRECT_FORMAT",   "ITEM_NOT_FOUND",
    "CANNOT_CONNECT",     "CONNECTION_ABORTED",
    "CONNECTION_RESET",   "FORCE_RETRY",
};
const char* const kFtpNames[] = {"TRANSFER_IN_PROGRESS", "DROPPED"};
const char* const kGopherNames[] = {
    "PROTOCOL_ERROR", "NOT_FILE", "DATA_ERROR", "END_OF_DATA", "INVALID_LOCATOR", "INCORRECT_LOCATOR_TYPE",
    "NOT_GOPHER_PLUS", "ATTRIBUTE_NOT_FOUND", "UNKNOWN_LOCATOR",
};
const char* const kHttpNames[] = {
    "HEADER_NOT_FOUND", "DOWNLEVEL_SERVER", "INVALID_SERVER_RESPONSE",
    "INVALID_HEADER",   "INVALID_QUERY_REQUEST", "HEADER_ALREADY_EXISTS",
};

template <size_t N>
bool InRange(uint32_t code, uint32_t first, const char* const (&names)[N], const char* prefix, std::string& out) {
  if (code < first || code >= first + N) return false;
  out = std::string(prefix) + names[code - first];
  return true;
}

}  // namespace

void TCustomLoginInformation::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TCustomLoginInformation*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  anonymous_ = other->anonymous_;
  directory_ = other->directory_;
  hostname_ = other->hostname_;
  password_ = other->password_;
  protocol_ = other->protocol_;
  username_ = other->username_;
}

bool TCustomLoginInformation::IsFilled() const {
  if (anonymous_) return !Trim(hostname_).empty();
  return !Trim(hostname_).empty() || !Trim(password_).empty() || !Trim(username_).empty();
}

bool TCustomLoginInformation::SameLogin(const TCustomLoginInformation& o) const {
  return anonymous_ == o.anonymous_ && directory_ == o.directory_ && hostname_ == o.hostname_ &&
         password_ == o.password_ && protocol_ == o.protocol_ && username_ == o.username_;
}

void TLoginInformation::PublishProperties(TPropList& list) const {
  using C = TLoginInformation;
  list.push_back(BoolProp<C>("Anonymous", &C::Anonymous, &C::SetAnonymous));
  list.push_back(StrProp<C>("Directory", &C::Directory, &C::SetDirectory));
  list.push_back(StrProp<C>("Hostname", &C::Hostname, &C::SetHostname));
  list.push_back(StrProp<C>("Password", &C::Password, &C::SetPassword));
  list.push_back(EnumProp<C>("Protocol", {"ipFTP", "ipHTTP"}, &C::Protocol, &C::SetProtocol));
  list.push_back(StrProp<C>("Username", &C::Username, &C::SetUsername));
}

std::string RemotePath(const std::string& directory) {
  std::string p = Trim(directory);
  if (p.empty()) return "/";
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string InternetErrorName(uint32_t code) {
  if (code == 6) return "ERROR_INVALID_HANDLE";
  std::string name;
  if (InRange(code, 12001, kInternetNames, "ERROR_INTERNET_", name)) return name;
  if (code == 12036) return "ERROR_INTERNET_HANDLE_EXISTS";
  if (code == 12041) return "ERROR_INTERNET_MIXED_SECURITY";
  if (InRange(code, 12110, kFtpNames, "ERROR_FTP_", name)) return name;
  if (InRange(code, 12130, kGopherNames, "ERROR_GOPHER_", name)) return name;
  if (InRange(code, 12150, kHttpNames, "ERROR_HTTP_", name)) return name;
  return "Unregistered error code";
}

int32_t ParseContentLength(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty() || t.size() > 9) return 0;
  int32_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

THttpAnswer ReadHttpAnswer(const std::string& statusText, const std::string& rawHeaders) {
  THttpAnswer a;
  std::string t = Trim(statusText);
  if (t.size() == 3 && t.find_first_not_of("0123456789") == std::string::npos) a.Code = std::stoi(t);
  a.Ok = a.Code >= 200 && a.Code <= 299;
  a.NotFound = a.Code == 404 || a.Code == 410;
  if (!a.Ok) {
    a.Line = rawHeaders.substr(0, rawHeaders.find_first_of("\r\n"));
    if (a.Line.empty()) a.Line = Format("HTTP status %d", a.Code);
  }
  return a;
}

ENIL::ENIL(const std::string& text, uint32_t errorCode, const std::string& host, const std::string& response)
    : Exception(text + ". Error message " + InternetErrorName(errorCode) + ". Server " + host +
                ". Response from server " + response),
      errorCode_(errorCode) {}

ENIL_WriteDestFile::ENIL_WriteDestFile(const std::string& componentName, const std::string& localFile)
    : Exception(componentName + " could not write to the local dest file " + localFile) {}

ENIL_FailLoadWININET::ENIL_FailLoadWININET()
    : Exception(
          "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to include the "
          "WININET.DLL file in the PresetupFiles property of the TInstall component") {}

ENIL_FailLoadDLLProc::ENIL_FailLoadDLLProc(const std::string& procName)
    : Exception("Failed to load the procedure " + procName + " from WININET.DLL") {}

TCustomNetInstallLocation::TCustomNetInstallLocation(TComponent* owner)
    : TComponent(owner), login_(new TLoginInformation) {}

TCustomNetInstallLocation::~TCustomNetInstallLocation() {
  try {
    CloseHandles();
  } catch (...) {
  }
  FreeWinInet();
  if (CurrentNetInstallLocation == this) CurrentNetInstallLocation = nullptr;
  if (NetInstallLocation == this) NetInstallLocation = nullptr;
  delete login_;
}

void TCustomNetInstallLocation::SetLoginInformation(TCustomLoginInformation* value) {
  if (!value || value == login_) return;
  bool changed = !login_->SameLogin(*value);
  login_->Assign(value);
  // An open connection belongs to the old server and account.
  if (changed && (connection_ || session_)) CloseHandles();
}

void TCustomNetInstallLocation::PublishProperties(TPropList& list) const {
  TComponent::PublishProperties(list);
  using C = TCustomNetInstallLocation;
  list.push_back(ObjProp<C, TCustomLoginInformation>(
      "LoginInformation", [](C* c) { return c->LoginInformation(); },
      [](C* c, TCustomLoginInformation* v) { c->SetLoginInformation(v); }));
}
