#include "installrecords.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "exceptions.h"
#include "sysutils.h"

namespace {

const char Magic[] = "SELFEXTRACTING";  // 14 characters behind a length byte

void PutInt32(std::string& out, size_t at, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
}

int32_t GetInt32(const unsigned char* p) {
  uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  return static_cast<int32_t>(u);
}

// One part of the executable: it must lie between the loader and the trailer.
bool PartFits(int32_t start, int32_t end, int64_t fileSize) {
  return start > 0 && start <= end && int64_t(end) < fileSize - int64_t(SelfExtractTrailerSize);
}

// The TDateTime range: 1 January 0001 to 31 December 9999.
const double MinDateTime = -693593.0;
const double MaxDateTime = 2958466.0;

std::string FixedText(const unsigned char* p, size_t width) {
  size_t n = 0;
  while (n < width && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string WithoutTrailingBackslash(std::string s) {
  while (s.size() > 1 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
  return s;
}

std::string FileNamePart(const std::string& path) {
  size_t i = path.find_last_of("\\/:");
  return i == std::string::npos ? path : path.substr(i + 1);
}

std::string FolderPart(const std::string& path) {
  size_t i = path.find_last_of("\\/:");
  if (i == std::string::npos) return "";
  if (path[i] == ':') return path.substr(0, i + 1);
  return WithoutTrailingBackslash(path.substr(0, i + 1));
}

std::string ChangeExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of("\\/:");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

}  // namespace

std::string EncodeSelfExtractTrailer(const TSelfExtractTrailer& t) {
  std::string out(SelfExtractTrailerSize, '\0');
  out[0] = static_cast<char>(sizeof(Magic) - 1);
  std::memcpy(&out[1], Magic, sizeof(Magic) - 1);
  PutInt32(out, 16, t.SetupStart);
  PutInt32(out, 20, t.SetupEnd);
  PutInt32(out, 24, t.FilesStart);
  PutInt32(out, 28, t.FilesEnd);
  return out;
}

bool DecodeSelfExtractTrailer(const void* bytes, size_t size, int64_t fileSize, TSelfExtractTrailer& trailer) {
  trailer = TSelfExtractTrailer();
  if (size != SelfExtractTrailerSize) return false;
  const auto* p = static_cast<const unsigned char*>(bytes);
  if (p[0] != sizeof(Magic) - 1 || std::memcmp(p + 1, Magic, sizeof(Magic) - 1) != 0) return false;
  TSelfExtractTrailer t;
  t.SetupStart = GetInt32(p + 16);
  t.SetupEnd = GetInt32(p + 20);
  t.FilesStart = GetInt32(p + 24);
  t.FilesEnd = GetInt32(p + 28);
  if (!PartFits(t.SetupStart, t.SetupEnd, fileSize)) return false;
  if ((t.FilesStart != 0 || t.FilesEnd != 0) && !PartFits(t.FilesStart, t.FilesEnd, fileSize)) return false;
  trailer = t;
  return true;
}

std::string EncodeRemoteFileList(const std::vector<TRemoteFileRecord>& records) {
  std::string out(4 + records.size() * RemoteFileRecordSize, '\0');
  PutInt32(out, 0, static_cast<int32_t>(records.size()));
  size_t at = 4;
  for (const auto& r : records) {
    PutInt32(out, at, r.Size);
    std::memcpy(&out[at + 4], &r.Date, 8);
    std::memcpy(&out[at + 12], r.Name.data(), std::min(r.Name.size(), RemoteFileNameWidth));
    // The version keeps a terminating NUL inside its field.
    std::memcpy(&out[at + 52], r.Version.data(), std::min(r.Version.size(), RemoteFileVersionWidth - 1));
    at += RemoteFileRecordSize;
  }
  return out;
}

std::vector<TRemoteFileRecord> DecodeRemoteFileList(const std::string& bytes, const std::string& path) {
  auto fail = [&]() -> IEInstall { return IEInstall("Cannot read the remote list of files: %s", {path}); };
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 4) throw fail();
  int32_t count = GetInt32(p);
  if (count < 0) throw fail();
  // The count comes from the server: records are taken as they are read,
  // never reserved for up front.
  std::vector<TRemoteFileRecord> records;
  size_t at = 4;
  for (int32_t i = 0; i < count; ++i) {
    if (bytes.size() - at < RemoteFileRecordSize) throw fail();
    TRemoteFileRecord r;
    r.Size = GetInt32(p + at);
    std::memcpy(&r.Date, p + at + 4, 8);
    if (r.Size < 0 || !std::isfinite(r.Date) || r.Date < MinDateTime || r.Date >= MaxDateTime) throw fail();
    r.Name = FixedText(p + at + 12, RemoteFileNameWidth);
    r.Version = FixedText(p + at + 52, RemoteFileVersionWidth);
    records.push_back(std::move(r));
    at += RemoteFileRecordSize;
  }
  return records;
}

TCommandLine ParseSetupCommandLine(const std::vector<std::string>& args) {
  static const char Letters[] = "bfdersc";
  static const TCommandLineFlag Flags[] = {clBuild, clFloppies, clDebug, clSelfExtract, clAfterReboot, clSource, clCopy};
  TCommandLine cl;
  for (const auto& a : args) {
    const char* hit = nullptr;
    if (a.size() >= 2 && a[0] == '-')
      hit = std::strchr(Letters, std::tolower(static_cast<unsigned char>(a[1])));
    if (!hit || *hit == '\0')
      throw IException(
          "Invalid parameter <%s>. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to "
          "floppies), -e (Called by self-extractor), -r (After reboot)",
          {a});
    TCommandLineFlag f = Flags[hit - Letters];
    cl.Given[f] = true;
    cl.Text[f] = a.substr(2);
  }
  return cl;
}

std::string BuildRunOnceLine(const TRunOnceLine& l) {
  std::string s = Quoted(l.ProgramPath) + " -r ";
  if (l.SelfExtract) s += "-e" + Quoted(FileNamePart(l.SetupProgramPath)) + " ";
  s += "-s" + Quoted(FolderPart(l.SetupProgramPath));
  // The loader's file name goes with "-c", so that the run after the
  // reboot finds the record of this run again.
  if (l.Copy) s += l.CopyText.empty() ? std::string(" -c") : " -c" + Quoted(l.CopyText);
  return s;
}

bool SplitUnfinishedLine(const std::string& line, std::string& name, int& kind) {
  size_t semi = line.rfind(';');
  if (semi == std::string::npos) return false;
  name = line.substr(0, semi);
  return TryStrToInt(line.substr(semi + 1), kind);
}

std::vector<std::string> BuildCleanupBatch(const TCleanupBatch& b) {
  std::vector<std::string> lines;
  const std::string exe = Quoted(b.ProgramPath);
  // The batch starts while the setup program is still ending: its file
  // stays locked for a moment, so the erase is tried again after a pause.
  lines.push_back("ERASE " + exe);
  for (int i = 0; i < b.Retries; ++i) {
    lines.push_back("IF EXIST " + exe + " PING -n 2 127.0.0.1 >NUL");
    lines.push_back("IF EXIST " + exe + " ERASE " + exe);
  }
  if (b.DeleteTree) {
    const std::string dir = Quoted(WithoutTrailingBackslash(b.ProgramDir));
    lines.push_back((b.WindowsNT ? "RMDIR /S /Q " : "DELTREE /Y ") + dir);
  }
  lines.push_back("ERASE " + Quoted(ChangeExtension(b.BatchPath, ".PIF")));
  lines.push_back("ERASE " + Quoted(b.BatchPath));
  return lines;
}

bool PathBelowDirectory(const std::string& path, const std::string& dir) {
  std::string d = WithoutTrailingBackslash(dir), p = WithoutTrailingBackslash(path);
  if (d.empty() || p.size() < d.size()) return false;
  if (!SameText(p.substr(0, d.size()), d)) return false;
  if (p.size() == d.size()) return false;
  return p[d.size()] == '\\' || p[d.size()] == '/' || d.back() == '\\' || d.back() == ':';
}
