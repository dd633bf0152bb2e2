// Network install location: the login of a server and the download of one
// remote file at a time over FTP or HTTP.  The transfer itself needs the
// Windows Internet library, loaded by name at the first use so that setup
// still starts on a system without it; the POSIX half has no such library
// and fails the load the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classes.h"

enum TInternetProtocol { ipFTP, ipHTTP };

class TCustomLoginInformation : public TPersistent {
 public:
  bool Anonymous() const { return anonymous_; }
  void SetAnonymous(bool value) { anonymous_ = value; }
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& value) { directory_ = value; }
  const std::string& Hostname() const { return hostname_; }
  void SetHostname(const std::string& value) { hostname_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  TInternetProtocol Protocol() const { return protocol_; }
  void SetProtocol(TInternetProtocol value) { protocol_ = value; }
  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& value) { username_ = value; }

  void Assign(TPersistent* source) override;
  // Enough to try a login: a host for an anonymous one, otherwise any of
  // host, user and password.
  bool IsFilled() const;
  // All six the same.
  bool SameLogin(const TCustomLoginInformation& other) const;

 private:
  bool anonymous_ = true;
  std::string directory_;
  std::string hostname_;
  std::string password_;
  TInternetProtocol protocol_ = ipFTP;
  std::string username_;
};

class TLoginInformation : public TCustomLoginInformation {
 public:
  void PublishProperties(TPropList& list) const override;
};

// The directory as the server wants it: trimmed, "/" for none, forward
// slashes only.
std::string RemotePath(const std::string& directory);

// The symbolic name of a system or Internet error code, or
// "Unregistered error code".
std::string InternetErrorName(uint32_t code);

// The value of a Content-Length answer: a decimal number of at most nine
// digits, blanks around it allowed; anything else gives 0 (size unknown).
int32_t ParseContentLength(const std::string& text);

// What a server's answer to a GET means for the download.  Code is the
// status as three digits (0 when the status text is anything else); Line is
// the server's status line to report when the file does not follow, or
// "HTTP status N" when the raw headers give none.
struct THttpAnswer {
  int Code = 0;
  bool Ok = false;
  bool NotFound = false;
  std::string Line;
};
THttpAnswer ReadHttpAnswer(const std::string& statusText, const std::string& rawHeaders);

// Network errors.  The message is "<text>. Error message <error name>.
// Server <host>. Response from server <response>"; the pieces are put in
// as they are, so a server's text never acts as a format.
class ENIL : public Exception {
 public:
  ENIL(const std::string& text, uint32_t errorCode, const std::string& host, const std::string& response);
  uint32_t ErrorCode() const { return errorCode_; }

 private:
  uint32_t errorCode_;
};

#define INSTKIT_ENIL(name, parent) \
  class name : public parent {     \
   public:                         \
    using parent::parent;          \
  };
INSTKIT_ENIL(ENIL_OpenSession, ENIL)
INSTKIT_ENIL(ENIL_OpenService, ENIL)
INSTKIT_ENIL(ENIL_FTP, ENIL)
INSTKIT_ENIL(ENIL_FTPSetDir, ENIL_FTP)
INSTKIT_ENIL(ENIL_FTPOpenFile, ENIL_FTP)
INSTKIT_ENIL(ENIL_FTPCloseFile, ENIL_FTP)
INSTKIT_ENIL(ENIL_HTTP, ENIL)
INSTKIT_ENIL(ENIL_HTTPOpenFile, ENIL_HTTP)
INSTKIT_ENIL(ENIL_HTTPSendRequest, ENIL_HTTP)
INSTKIT_ENIL(ENIL_FailDataQuery, ENIL)
INSTKIT_ENIL(ENIL_ReadFile, ENIL)
INSTKIT_ENIL(ENIL_FileNotFound, ENIL)
#undef INSTKIT_ENIL

class ENIL_WriteDestFile : public Exception {
 public:
  ENIL_WriteDestFile(const std::string& componentName, const std::string& localFile);
};

class ENIL_FailLoadWININET : public Exception {
 public:
  ENIL_FailLoadWININET();
};

class ENIL_FailLoadDLLProc : public Exception {
 public:
  explicit ENIL_FailLoadDLLProc(const std::string& procName);
};

using TLoginEvent = std::function<void(TObject* Sender)>;
using TNotifyWithAbortFlag = std::function<void(TObject* Sender, bool Aborted)>;
// After each block of a download: the remote name, the bytes of this block,
// the bytes so far, the expected size (0 when unknown) and the block itself.
// Relayed through the install tree, the block is not there (nullptr).
using TDataReceivedEvent = std::function<void(TObject* Sender, const std::string& FileName, int32_t Bytes,
                                              int32_t TotalBytes, int32_t FileSize, const char* Buffer)>;

struct TWinInetApi;

class TCustomNetInstallLocation : public TComponent {
 public:
  explicit TCustomNetInstallLocation(TComponent* owner);
  ~TCustomNetInstallLocation() override;

  TLoginInformation* LoginInformation() const { return login_; }
  // Copies the login; a different login drops the open connection so that
  // the next download goes to the new server with the new account.
  virtual void SetLoginInformation(TCustomLoginInformation* value);

  TLoginEvent OnBeforeLogin;
  TLoginEvent OnAfterLogin;
  TNotifyEvent OnBeforeDownload;
  TNotifyWithAbortFlag OnAfterDownload;
  TDataReceivedEvent OnDataReceived;
  // Not published: raised right after OnDataReceived, for the install
  // objects' download status.
  TDataReceivedEvent OnDataReceivedStatus;

  virtual void LoadWinInet();
  virtual void Connect();
  virtual void Download(const std::string& remoteFile, const std::string& localFile);
  void CloseHandles();

  bool WinInetLoaded() const { return loaded_; }
  bool Connected() const { return connection_ != nullptr; }
  const std::string& LocalFileName() const { return localFile_; }
  const std::string& RemoteFileName() const { return remoteFile_; }

  void PublishProperties(TPropList& list) const override;

 protected:
  // The failure of a remote operation, with the last error, the current
  // host and the server's last response.
  template <class E>
  [[noreturn]] void Fail(const std::string& text);
  std::string LastResponse();
  uint32_t LastError();

 private:
  void FreeWinInet();
  void DownloadHttp();
  void ReadInto(void* handle, int32_t expected, bool exactSize);

  TLoginInformation* login_;
  bool loaded_ = false;
  void* module_ = nullptr;
  TWinInetApi* api_ = nullptr;
  void* session_ = nullptr;
  void* connection_ = nullptr;
  void* file_ = nullptr;
  std::string localFile_;
  std::string remoteFile_;
  // The FTP directory the login started in ("" when unknown).
  std::string loginDir_;
};

class TNetInstallLocation : public TCustomNetInstallLocation {
 public:
  using TCustomNetInstallLocation::TCustomNetInstallLocation;
};

// The library LoadWinInet loads; tests point it elsewhere.
extern std::string WinInetLibraryName;
// The shared location of the install objects and the driver (made with
// them); nullptr until then.
extern TNetInstallLocation* NetInstallLocation;
// The location that connected last; its host is the one error messages
// name.  Cleared when that location is destroyed.
extern TCustomNetInstallLocation* CurrentNetInstallLocation;
// Set by the cancel buttons of the copy pages; a download in progress stops
// after its current block.
extern bool NetInstallCancel;
