// Helpers shared by the test suites: where the source and build trees are,
// a scratch folder per test binary, and running Unix programs (reference
// tools such as unzip, python3, ImageMagick) from native and Wine tests alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

// Paths in the form the running program uses: "Z:\..." under Wine.
std::string SourceDir();
std::string BuildDir();
// A fresh, empty scratch folder for this test binary (removed at start).
std::string ScratchDir();
// A new empty file of the scratch folder, open for reading and writing,
// in place of tmpfile() (the Windows runtime makes those in the root of
// the current drive, which need not be writable); null when it cannot be
// made.
FILE* ScratchFile();
// How often what occurs in text (overlapping ones counted).
int CountOf(const std::string& text, const std::string& what);
// n pseudo-random bytes, the same for the same seed.
std::vector<uint8_t> RandomBytes(size_t n, unsigned seed);
// Joins with the platform's separator.
std::string Join(const std::string& dir, const std::string& name);

// A path of this program turned into the Unix path that Unix tools need.
std::string ToUnixPath(const std::string& path);

// Runs a Unix program (absolute Unix path) with arguments and returns its
// exit code; standard output and error go to 'output' when given.
int RunUnix(const std::string& program, const std::vector<std::string>& args,
            std::string* output = nullptr);

#ifdef _WIN32
// Runs a Windows command line (under Wine: a Windows program such as
// reg.exe or one of the build's .exe files), waits for it and returns its
// exit code; standard output and error go to 'output' when given.
int RunWindows(const std::string& commandLine, std::string* output = nullptr);
// The same for a command line in wide characters, as the shell passes a
// name typed or dropped that the code page cannot hold.
int RunWindowsWide(const std::wstring& commandLine, std::string* output = nullptr);
// Every file below dir, each as prefix + its name relative to dir, read
// with the system's own listing calls alone.
void ListFiles(const std::string& dir, const std::string& prefix, std::vector<std::string>& out);
#endif

// Saves a screenshot of the whole (virtual) screen as
// <build>/screenshots/<name>.png and returns its path, or "" when no display.
std::string Screenshot(const std::string& name);

// A peer server on a loopback address, run by tests/support/peer_server.py
// with /usr/bin/python3 (Debian's packages): "ftp" (pyftpdlib; anonymous,
// and 'user' with 'password' when given), "http" (python3 -m http.server's
// handler), "odd" (the same with deliberately odd answers, see the script)
// or "lighttpd".  'root' is the served folder.  The constructor returns once
// the server listens; the destructor stops it by its pid and waits for it.
class PeerServer {
 public:
  PeerServer(const std::string& kind, const std::string& address, int port, const std::string& root,
             const std::string& user = "", const std::string& password = "");
  ~PeerServer();
  PeerServer(const PeerServer&) = delete;
  PeerServer& operator=(const PeerServer&) = delete;
  void Stop();
  // What the server logged so far (lighttpd: its access log).
  std::string Log() const;

 private:
  std::string pid_;
  std::string log_;
};

// A 24-bit bottom-up BMP file of w x h pixels, all of colour rgb
// (0x00RRGGBB).
std::vector<uint8_t> SolidBmp24(int w, int h, uint32_t rgb);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data);
void WriteFileText(const std::string& path, const std::string& text);
// The file's bytes as text, "" when it does not exist (yet): a log the
// program under test may not have begun.
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);
// Copies the folder from with everything below it to to (made as needed).
void CopyTree(const std::string& from, const std::string& to);

}  // namespace testsupport
