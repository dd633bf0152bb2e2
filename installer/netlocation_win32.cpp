// The transfer over the Windows Internet library, loaded by name.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <vector>

#include "netlocation.h"
#include "win/forms.h"

namespace {

using PGetLastResponseInfo = BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD);
using POpen = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using PConnect = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
using PFtpSetCurrentDirectory = BOOL(WINAPI*)(HINTERNET, LPCSTR);
using PCloseHandle = BOOL(WINAPI*)(HINTERNET);
using PQueryDataAvailable = BOOL(WINAPI*)(HINTERNET, LPDWORD, DWORD, DWORD_PTR);
using PReadFile = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
using PFtpOpenFile = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, DWORD, DWORD, DWORD_PTR);
using PHttpOpenRequest = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD, DWORD_PTR);
using PHttpSendRequest = BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD);
using PHttpQueryInfo = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
using PFtpGetCurrentDirectory = BOOL(WINAPI*)(HINTERNET, LPSTR, LPDWORD);

const char* const kProcNames[] = {
    "InternetGetLastResponseInfo", "InternetOpen",      "InternetConnect", "FtpSetCurrentDirectory",
    "InternetCloseHandle",         "InternetQueryDataAvailable", "InternetReadFile", "FtpOpenFile",
    "HttpOpenRequest",             "HttpSendRequest",   "HttpQueryInfo",
};
// Only these have an "A" form.
const bool kAnsi[] = {true, true, true, true, false, false, false, true, true, true, true};

const DWORD kBlockSize = 8192;
const DWORD kHttpFlags = 0xA4000000;  // reload, keep the connection, no cache write

}  // namespace

struct TWinInetApi {
  PGetLastResponseInfo GetLastResponseInfo;
  POpen Open;
  PConnect Connect;
  PFtpSetCurrentDirectory FtpSetCurrentDirectory;
  PCloseHandle CloseHandle;
  PQueryDataAvailable QueryDataAvailable;
  PReadFile ReadFile;
  PFtpOpenFile FtpOpenFile;
  PHttpOpenRequest HttpOpenRequest;
  PHttpSendRequest HttpSendRequest;
  PHttpQueryInfo HttpQueryInfo;
  // Not required: where the login put us, so that a relative directory is
  // taken from there on every call and not from the last one.
  PFtpGetCurrentDirectory FtpGetCurrentDirectory;
};

uint32_t TCustomNetInstallLocation::LastError() { return GetLastError(); }

std::string TCustomNetInstallLocation::LastResponse() {
  if (!api_) return "No server response";
  DWORD code = 0;
  std::vector<char> buf(3001);
  DWORD size = 3000;
  if (!api_->GetLastResponseInfo(&code, buf.data(), &size)) return "No server response";
  std::string text(buf.data(), std::min<DWORD>(size, 3000));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '\0')) text.pop_back();
  if (text.empty()) return "No server response";
  return text;
}

template <class E>
void TCustomNetInstallLocation::Fail(const std::string& text) {
  uint32_t code = LastError();
  std::string response = LastResponse();
  std::string host = CurrentNetInstallLocation ? CurrentNetInstallLocation->LoginInformation()->Hostname() : "";
  throw E(text, code, host, response);
}

void TCustomNetInstallLocation::LoadWinInet() {
  if (loaded_) return;
  HMODULE module = LoadLibraryA(WinInetLibraryName.c_str());
  if (!module) throw ENIL_FailLoadWININET();
  auto* api = new TWinInetApi;
  FARPROC* slots = reinterpret_cast<FARPROC*>(api);
  for (size_t i = 0; i < sizeof kProcNames / sizeof kProcNames[0]; ++i) {
    std::string name = std::string(kProcNames[i]) + (kAnsi[i] ? "A" : "");
    slots[i] = GetProcAddress(module, name.c_str());
    if (!slots[i]) {
      delete api;
      FreeLibrary(module);
      throw ENIL_FailLoadDLLProc(kProcNames[i]);
    }
  }
  api->FtpGetCurrentDirectory =
      reinterpret_cast<PFtpGetCurrentDirectory>(reinterpret_cast<void*>(GetProcAddress(module, "FtpGetCurrentDirectoryA")));
  module_ = module;
  api_ = api;
  loaded_ = true;
}

void TCustomNetInstallLocation::FreeWinInet() {
  delete api_;
  api_ = nullptr;
  if (module_) FreeLibrary(static_cast<HMODULE>(module_));
  module_ = nullptr;
  loaded_ = false;
}

void TCustomNetInstallLocation::Connect() {
  CurrentNetInstallLocation = this;
  if (!loaded_) LoadWinInet();
  const TLoginInformation& login = *login_;
  if (!session_) {
    std::string agent = Application ? Application->Name() : "";
    session_ = api_->Open(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session_) Fail<ENIL_OpenSession>("Cannot open internet connection");
  }
  if (!connection_) {
    if (OnBeforeLogin) OnBeforeLogin(this);
    bool ftp = login.Protocol() == ipFTP;
    const char* user = nullptr;
    const char* pass = nullptr;
    if (!login.Anonymous()) {
      user = login.Username().c_str();
      pass = login.Password().c_str();
    } else if (!ftp) {
      user = "";
      pass = "";
    }
    connection_ = api_->Connect(session_, login.Hostname().c_str(),
                                ftp ? INTERNET_DEFAULT_FTP_PORT : INTERNET_DEFAULT_HTTP_PORT, user, pass,
                                ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection_) Fail<ENIL_OpenService>(Format("Cannot connect to host %s", login.Hostname()));
    loginDir_.clear();
    if (login.Protocol() == ipFTP && api_->FtpGetCurrentDirectory) {
      char buf[MAX_PATH + 1] = {};
      DWORD size = MAX_PATH;
      if (api_->FtpGetCurrentDirectory(connection_, buf, &size)) loginDir_ = buf;
    }
    if (OnAfterLogin) OnAfterLogin(this);
  }
  if (login.Protocol() == ipFTP) {
    std::string dir = RemotePath(login.Directory());
    std::string target = dir;
    if (dir[0] != '/' && !loginDir_.empty())
      target = loginDir_ + (loginDir_.back() == '/' ? "" : "/") + dir;
    if (!api_->FtpSetCurrentDirectory(connection_, target.c_str()))
      Fail<ENIL_FTPSetDir>(Format("Cannot set directory on server to %s", dir));
  }
}

void TCustomNetInstallLocation::CloseHandles() {
  if (file_ && api_) {
    api_->CloseHandle(file_);
    file_ = nullptr;
  }
  if (connection_ && api_ && api_->CloseHandle(connection_)) connection_ = nullptr;
  if (session_ && api_ && api_->CloseHandle(session_)) session_ = nullptr;
}

void TCustomNetInstallLocation::Download(const std::string& remoteFile, const std::string& localFile) {
  Connect();
  remoteFile_ = remoteFile;
  localFile_ = localFile;
  if (OnBeforeDownload) OnBeforeDownload(this);
  try {
    if (login_->Protocol() == ipFTP) {
      file_ = api_->FtpOpenFile(connection_, remoteFile.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
      if (!file_) Fail<ENIL_FTPOpenFile>(Format("Cannot open file %s on server", remoteFile));
      DWORD available = 0;
      if (!api_->QueryDataAvailable(file_, &available, 0, 0))
        Fail<ENIL_FailDataQuery>(Format("Could not query file %s on server", remoteFile));
      // What an FTP server has ready is no file size: a shorter total is
      // no sign of a cut transfer.
      ReadInto(file_, static_cast<int32_t>(available), false);
    } else {
      DownloadHttp();
    }
    HINTERNET file = file_;
    file_ = nullptr;
    if (!api_->CloseHandle(file))
      Fail<ENIL_FTPCloseFile>(Format("Cannot close the file %s on the server", remoteFile));
  } catch (...) {
    // A transfer or request left open would make the next download on this
    // connection fail.
    if (file_) {
      api_->CloseHandle(file_);
      file_ = nullptr;
    }
    throw;
  }
  if (OnAfterDownload) OnAfterDownload(this, NetInstallCancel);
}

void TCustomNetInstallLocation::DownloadHttp() {
  std::string dir = RemotePath(login_->Directory());
  if (dir.back() != '/') dir += '/';
  std::string object = dir + remoteFile_;
  file_ = api_->HttpOpenRequest(connection_, "GET", object.c_str(), nullptr, nullptr, nullptr, kHttpFlags, 0);
  if (!file_) Fail<ENIL_HTTPOpenFile>(Format("Cannot open file %s on server", remoteFile_));
  static const char kHeaders[] = "Accept: */*\r\n\r\n";
  if (!api_->HttpSendRequest(file_, kHeaders, static_cast<DWORD>(sizeof kHeaders - 1), nullptr, 0))
    Fail<ENIL_HTTPSendRequest>(Format("Cannot send request for file %s to the server", remoteFile_));

  // The status decides, not the page: an error page must not become the
  // archive, and a good file may well begin with "404".
  char status[33] = {};
  DWORD size = sizeof status - 1;
  if (!api_->HttpQueryInfo(file_, HTTP_QUERY_STATUS_CODE, status, &size, nullptr))
    Fail<ENIL_FailDataQuery>(Format("Could not query file %s on server", remoteFile_));
  const std::string statusText(status, std::min<DWORD>(size, sizeof status - 1));
  THttpAnswer answer = ReadHttpAnswer(statusText, "");
  if (!answer.Ok) {
    std::vector<char> raw(4096);
    DWORD rawSize = static_cast<DWORD>(raw.size() - 1);
    if (api_->HttpQueryInfo(file_, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &rawSize, nullptr))
      answer = ReadHttpAnswer(statusText, std::string(raw.data(), std::min<DWORD>(rawSize, raw.size() - 1)));
    uint32_t error = LastError();
    std::string host = login_->Hostname();
    if (answer.NotFound)
      throw ENIL_FileNotFound(Format("Could not find the file %s on the server", remoteFile_), error, host,
                              answer.Line);
    throw ENIL_HTTPSendRequest(Format("Cannot send request for file %s to the server", remoteFile_), error, host,
                               answer.Line);
  }

  char length[33] = {};
  DWORD lengthSize = sizeof length - 1;
  int32_t expected = 0;
  if (api_->HttpQueryInfo(file_, HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr))
    expected = ParseContentLength(std::string(length, std::min<DWORD>(lengthSize, 32)));
  else if (GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND)
    Fail<ENIL_FailDataQuery>(Format("Could not query file %s on server", remoteFile_));
  ReadInto(file_, expected, true);
}

void TCustomNetInstallLocation::ReadInto(void* handle, int32_t expected, bool exactSize) {
  HANDLE out = CreateFileA(localFile_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (out == INVALID_HANDLE_VALUE) throw ENIL_WriteDestFile(Name(), localFile_);
  bool keep = false;
  try {
    std::vector<char> block(kBlockSize);
    int32_t total = 0;
    DWORD got = 0;
    auto readBlock = [&] {
      if (!api_->ReadFile(handle, block.data(), kBlockSize, &got))
        Fail<ENIL_ReadFile>(Format("Could not read from file %s on the server", remoteFile_));
    };
    readBlock();
    while (got > 0) {
      total += static_cast<int32_t>(got);
      if (OnDataReceived) OnDataReceived(this, remoteFile_, static_cast<int32_t>(got), total, expected, block.data());
      if (OnDataReceivedStatus)
        OnDataReceivedStatus(this, remoteFile_, static_cast<int32_t>(got), total, expected, block.data());
      if (Application) Application->ProcessMessages();
      if (NetInstallCancel) {
        // The caller decides what becomes of the partial file.
        keep = true;
        break;
      }
      DWORD written = 0;
      if (!WriteFile(out, block.data(), got, &written, nullptr) || written != got)
        throw ENIL_WriteDestFile(Name(), localFile_);
      readBlock();
    }
    if (!keep) {
      if (total == 0) Fail<ENIL_FileNotFound>(Format("Could not find the file %s on the server", remoteFile_));
      // A body that ends before its announced length is a broken transfer,
      // not a smaller file.
      if (exactSize && expected > 0 && total < expected)
        Fail<ENIL_ReadFile>(Format("Could not read from file %s on the server", remoteFile_));
    }
  } catch (...) {
    CloseHandle(out);
    DeleteFileA(localFile_.c_str());
    throw;
  }
  CloseHandle(out);
}
