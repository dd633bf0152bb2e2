#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testsupport {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) throw std::runtime_error(std::string("environment variable not set: ") + name);
  return v;
}

// A Unix path as this program must name it.
std::string FromUnixPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string p = "Z:" + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
#else
  return unixPath;
#endif
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

// Runs "/bin/sh SCRIPT" and returns the script's exit code, which the
// script itself leaves in SCRIPT.rc (see RunUnix).
int RunShellScript(const std::string& scriptUnixPath, const std::string& rcPath) {
#ifdef _WIN32
  // Wine starts Unix programs named by their Unix path and hands them the
  // arguments unchanged, but its process handle does not wait for them: the
  // script's exit code file is the signal that it has finished.
  std::string cmd = "/bin/sh " + scriptUnixPath;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> buf(cmd.begin(), cmd.end());
  buf.push_back('\0');
  if (!CreateProcessA("Z:\\bin\\sh", buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    throw std::runtime_error("cannot start /bin/sh under Wine");
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  for (int waited = 0; !FileExists(rcPath); waited += 10) {
    if (waited > 15 * 60 * 1000) throw std::runtime_error("Unix program did not finish: " + scriptUnixPath);
    Sleep(10);
  }
#else
  std::system(("/bin/sh " + ShellQuote(scriptUnixPath)).c_str());
#endif
  auto bytes = ReadFileBytes(rcPath);
  return std::stoi(std::string(bytes.begin(), bytes.end()));
}

}  // namespace

std::string SourceDir() { return FromUnixPath(Env("MORVANE_SOURCE_DIR")); }
std::string BuildDir() { return FromUnixPath(Env("MORVANE_BUILD_DIR")); }

std::string Join(const std::string& dir, const std::string& name) {
#ifdef _WIN32
  const char sep = '\\';
#else
  const char sep = '/';
#endif
  if (dir.empty() || dir.back() == sep) return dir + name;
  return dir + sep + name;
}

std::string ScratchDir() {
  static std::string dir;
  if (dir.empty()) {
    dir = FromUnixPath(Env("MORVANE_TEST_TMP"));
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
  }
  return dir;
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

FILE* ScratchFile() {
  // Measurement drivers run outside the test runner, without a scratch folder.
  if (!std::getenv("MORVANE_TEST_TMP")) return std::tmpfile();
  static int serial = 0;
  const std::string path = Join(ScratchDir(), "scratch-" + std::to_string(++serial) + ".bin");
  return std::fopen(path.c_str(), "w+b");
}

std::string ToUnixPath(const std::string& path) {
#ifdef _WIN32
  std::string full = fs::absolute(path).string();
  if (full.size() >= 2 && (full[0] == 'Z' || full[0] == 'z') && full[1] == ':') full = full.substr(2);
  for (char& c : full)
    if (c == '\\') c = '/';
  return full;
#else
  return fs::absolute(path).string();
#endif
}

int RunUnix(const std::string& program, const std::vector<std::string>& args, std::string* output) {
  static int counter = 0;
  std::string base = Join(ScratchDir(), "run" + std::to_string(++counter));
  std::string outPath = base + ".out";
  std::string cmd = ShellQuote(program);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  cmd += " >" + ShellQuote(ToUnixPath(outPath)) + " 2>&1 </dev/null\n";
  std::string rcUnix = ToUnixPath(base + ".rc");
  cmd += "echo $? >" + ShellQuote(rcUnix + ".tmp") + " && mv " + ShellQuote(rcUnix + ".tmp") + " " + ShellQuote(rcUnix) + "\n";
  WriteFileText(base + ".sh", cmd);
  int rc = RunShellScript(ToUnixPath(base + ".sh"), base + ".rc");
  if (output) {
    auto bytes = ReadFileBytes(outPath);
    output->assign(bytes.begin(), bytes.end());
  }
  return rc;
}

#ifdef _WIN32
void ListFiles(const std::string& dir, const std::string& prefix, std::vector<std::string>& out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(dir + "\\" + name, prefix + name + "\\", out);
    else
      out.push_back(prefix + name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

namespace {
// 'shown' names the command in the error when it cannot start.
int RunPiped(const std::wstring& commandLine, std::string* output, const std::string& shown) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  BOOL ok = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!ok) {
    CloseHandle(readEnd);
    throw std::runtime_error("cannot start: " + shown);
  }
  std::string out;
  char buf[4096];
  DWORD n;
  while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(readEnd);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  if (output) *output = out;
  return static_cast<int>(code);
}
}  // namespace

int RunWindows(const std::string& commandLine, std::string* output) {
  // The system turns a narrow command line into wide characters through
  // the ANSI code page; doing it here lets both forms share one runner.
  const int n = MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, &wide[0], n);
  wide.resize(wide.size() - 1);
  return RunPiped(wide, output, commandLine);
}

int RunWindowsWide(const std::wstring& commandLine, std::string* output) {
  return RunPiped(commandLine, output, "a command line in wide characters");
}
#endif

std::string Screenshot(const std::string& name) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return "";
  std::string dir = Join(BuildDir(), "screenshots");
  MakeDirs(dir);
  std::string path = Join(dir, name + ".png");
  std::string out;
  int rc = RunUnix("/usr/bin/import", {"-display", display, "-window", "root", ToUnixPath(path)}, &out);
  if (rc != 0) throw std::runtime_error("screenshot failed: " + out);
  return path;
}

PeerServer::PeerServer(const std::string& kind, const std::string& address, int port, const std::string& root,
                       const std::string& user, const std::string& password) {
  static int counter = 0;
  std::string base = Join(ScratchDir(), "peer" + std::to_string(++counter) + "-" + kind);
  log_ = base + ".log";
  std::string ready = base + ".ready";
  std::vector<std::string> args = {Env("MORVANE_SOURCE_DIR") + "/tests/support/peer_server.py",
                                   kind,
                                   address,
                                   std::to_string(port),
                                   ToUnixPath(root),
                                   ToUnixPath(log_),
                                   ToUnixPath(ready)};
  if (!user.empty()) {
    args.push_back(user);
    args.push_back(password);
  }
  std::string cmd = "/usr/bin/python3";
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  // Detached, so the helper script ends while the server goes on.
  std::string script = "setsid " + cmd + " >>" + ShellQuote(ToUnixPath(log_)) + " 2>&1 </dev/null &\n";
  int rc = RunUnix("/bin/sh", {"-c", script});
  if (rc != 0) throw std::runtime_error("cannot start the " + kind + " server");
  for (int waited = 0; !FileExists(ready); waited += 20) {
    if (waited > 20000) throw std::runtime_error("the " + kind + " server did not start: " + Log());
#ifdef _WIN32
    Sleep(20);
#else
    usleep(20000);
#endif
  }
  auto bytes = ReadFileBytes(ready);
  pid_.assign(bytes.begin(), bytes.end());
}

PeerServer::~PeerServer() {
  try {
    Stop();
  } catch (...) {
  }
}

void PeerServer::Stop() {
  if (pid_.empty()) return;
  std::string pid = pid_;
  pid_.clear();
  // Waits until the process has ended (and so freed its port); nobody may
  // reap it at once, so a zombie counts as ended.
  std::string state = "$(cut -d' ' -f3 /proc/" + pid + "/stat 2>/dev/null)";
  RunUnix("/bin/sh", {"-c", "kill " + pid + "; i=0; while s=" + state + "; [ -n \"$s\" ] && [ \"$s\" != Z ] && [ $i -lt 200 ]; do sleep 0.02; i=$((i+1)); done"});
}

std::string PeerServer::Log() const {
  if (!FileExists(log_)) return "";
  auto bytes = ReadFileBytes(log_);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadFileText(const std::string& path) {
  if (!FileExists(path)) return "";
  const std::vector<uint8_t> b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::vector<uint8_t> SolidBmp24(int w, int h, uint32_t rgb) {
  const int stride = (w * 3 + 3) & ~3;
  const uint32_t size = 54 + uint32_t(stride) * uint32_t(h);
  std::vector<uint8_t> b(size, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &b[54 + size_t(y) * stride + size_t(x) * 3];
      p[0] = uint8_t(rgb);
      p[1] = uint8_t(rgb >> 8);
      p[2] = uint8_t(rgb >> 16);
    }
  return b;
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void CopyTree(const std::string& from, const std::string& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    const fs::path target = fs::path(to) / entry.path().filename();
    if (entry.is_directory())
      CopyTree(entry.path().string(), target.string());
    else
      fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
  }
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

}  // namespace testsupport
