// Test-only stand-in for the loader program of a distribution, which the
// build copies in as setup.exe but which is not part of this system.  It
// finds the setup archive (appended to itself, located by its trailer, or
// "setup.1" beside it), extracts it with the kit's archive reader into a
// fresh temporary folder and starts the setup program there with
//   "-e<own file name>"  (self-extracting only),
//   "-s<own folder>"     the source of the distribution,
//   "-c<own file name>"  the program runs from the loader's copy,
// waits for it and returns its exit code (2 when nothing could be started).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compress.h"
#include "installrecords.h"

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The trailer of this program, when it carries one that fits its size.
bool ReadOwnTrailer(const std::string& self, TSelfExtractTrailer& trailer) {
  HANDLE h = CreateFileA(self.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  LARGE_INTEGER size;
  if (GetFileSizeEx(h, &size) && size.QuadPart > int64_t(SelfExtractTrailerSize)) {
    LARGE_INTEGER at;
    at.QuadPart = size.QuadPart - int64_t(SelfExtractTrailerSize);
    unsigned char bytes[SelfExtractTrailerSize];
    DWORD got = 0;
    ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ReadFile(h, bytes, sizeof(bytes), &got, nullptr) &&
         got == sizeof(bytes) && DecodeSelfExtractTrailer(bytes, sizeof(bytes), size.QuadPart, trailer);
  }
  CloseHandle(h);
  return ok;
}

std::string FreshTempFolder() {
  char temp[MAX_PATH] = {};
  char name[MAX_PATH] = {};
  if (!GetTempPathA(MAX_PATH, temp) || !GetTempFileNameA(temp, "qlw", 0, name)) return "";
  DeleteFileA(name);
  if (!CreateDirectoryA(name, nullptr)) return "";
  return name;
}

}  // namespace

int main() {
  char selfBuf[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, selfBuf, MAX_PATH);
  const std::string self = selfBuf;
  const size_t slash = self.find_last_of('\\');
  const std::string dir = self.substr(0, slash);
  const std::string selfName = self.substr(slash + 1);

  TSelfExtractTrailer trailer;
  const bool selfExtracting = ReadOwnTrailer(self, trailer);
  const std::string archive = selfExtracting ? self : dir + "\\setup.1";
  const std::string temp = FreshTempFolder();
  if (temp.empty()) {
    fprintf(stderr, "loader: no temporary folder\n");
    return 2;
  }

  std::string setupProgram;
  try {
    TQnlwCompress reader(nullptr);
    reader.SetCompressedFile(archive);
    reader.SetOffset(selfExtracting ? trailer.SetupStart : 0);
    reader.SetExtractDirectory(temp);
    TStringList files;
    for (int i = 0; i < reader.FileCount(); ++i) {
      TlzhFileStats stats;
      reader.GetFileStats(i, stats);
      files.Add(stats.Header.SourcePath);
      // The setup program is the archive's first entry.
      if (i == 0) setupProgram = temp + "\\" + ExtractFileName(stats.Header.SourcePath);
    }
    reader.SetFilesToProcess(&files);
    reader.Extract();
  } catch (const Exception& e) {
    fprintf(stderr, "loader: %s\n", e.Message().c_str());
    return 2;
  }
  if (setupProgram.empty()) {
    fprintf(stderr, "loader: the setup archive %s is empty\n", archive.c_str());
    return 2;
  }

  std::string command = Quoted(setupProgram);
  if (selfExtracting) command += " " + Quoted("-e" + selfName);
  command += " " + Quoted("-s" + dir) + " " + Quoted("-c" + selfName);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> cmd(command.begin(), command.end());
  cmd.push_back('\0');
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, temp.c_str(), &si, &pi)) {
    fprintf(stderr, "loader: cannot start %s\n", command.c_str());
    return 2;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 2;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return static_cast<int>(code);
}
