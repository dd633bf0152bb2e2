#include "packer.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dirsys.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "scan.h"
#include "sys.h"

namespace {

const PackerEntry kInitialRows[kPackerCount] = {
    {"ZIP", "", ".zip", "", "", true},
    {"InfoZIP", "zip.exe", ".zip", "", "-9 -g -q -X -j %b.zip %p", true},
    {"PkZIP", "pkzip.exe", ".zip", "", "-ex -a -o %b.zip %p", true},
    {"GZIP", "gzip.exe", ".gz", "", "-N -9 -S\".gz \"", true},
    {"RAR", "rar.exe", ".rar", "", "a %b.rar %p -std -tl -ep -m5 -mm", true},
    {"LHA", "lha.exe", ".lha", "", "a -n -m %b %p", true},
    {"ARJ", "arj.exe", ".arj", "", "a -jm -e -i -y %b.arj %p", true},
    {"JAR", "jar32.exe", ".j", "", "a -m4 -y %b.j %p", true},
};

const PackerEntry& Row(uint32_t index) {
  static const PackerEntry none{};
  return index < static_cast<uint32_t>(kPackerCount) ? PackerTable[index] : none;
}

bool Readable(const std::string& path) {
  FILE* f = SysOpenFile(path, "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// The folder an archive is written into, as a prefix for its entries' names.
std::string FolderPrefix(const std::string& path) {
  const size_t cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// Names of the plain files in a folder (sorted, as listed).
std::vector<std::string> FilesIn(const std::string& prefix) {
  std::vector<SysDirEntry> entries;
  std::vector<std::string> names;
  if (!SysListDirectory(prefix.empty() ? "." : prefix, entries)) return names;
  for (const SysDirEntry& e : entries)
    if (!e.isDirectory) names.push_back(e.name);
  return names;
}

// An archiver stopped part-way (the run was cancelled) leaves its partial
// archive and its own temporary files beside it; they go with the run.
void RemoveArchiverLeftovers(const std::string& archive, const std::string& prefix,
                             const std::vector<std::string>& before) {
  SysDeleteFile(archive);
  for (const std::string& name : FilesIn(prefix))
    if (!std::binary_search(before.begin(), before.end(), name)) SysDeleteFile(prefix + name);
}

void PackInternalZip(const std::string& archive, const std::string& outputName) {
  zipFile zf = zipOpen(archive.c_str(), APPEND_STATUS_CREATE);
  if (!zf)
    EngineMessage("Error, cannot create zip-file \"%s\" containing the patchfile.",
                  "Fehler, kann Zip-Datei \"%s\" mit der Patchdatei nicht anlegen.", archive.c_str());
  zip_fileinfo info;
  std::memset(&info, 0, sizeof info);
  // The entry carries the file's own name: a drive or directory part would
  // make unpacking tools create the creator's folders or write to an
  // absolute path on the recipient's machine.
  const size_t cut = outputName.find_last_of("/\\:");
  const std::string entryName = cut == std::string::npos ? outputName : outputName.substr(cut + 1);
  if (zipOpenNewFileInZip(zf, entryName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9) != ZIP_OK) {
    zipClose(zf, nullptr);
    EngineMessage("Error, cannot add patchfile \"%s\" to the zipfile.",
                  "Fehler, kann Patchdatei \"%s\" nicht zum ZIP-Archiv hinzufuegen.", outputName.c_str());
  }
  FILE* in = SysOpenFile(outputName, "rb");
  bool readFailed = in == nullptr;
  bool writeFailed = false;
  if (in) {
    char buffer[1024];
    for (;;) {
      size_t got = std::fread(buffer, 1, sizeof buffer, in);
      if (got > 0 && zipWriteInFileInZip(zf, buffer, static_cast<unsigned>(got)) != ZIP_OK) {
        writeFailed = true;
        break;
      }
      if (got < sizeof buffer) {
        readFailed = !std::feof(in);
        break;
      }
    }
    std::fclose(in);
  }
  if (readFailed) {
    zipCloseFileInZip(zf);
    zipClose(zf, nullptr);
    EngineMessage("Error, cannot read created patchfile while trying to archive it as zipfile.",
                  "Fehler, kann Patchdatei nicht lesen, w\xe4hrend Sie als Archiv angelegt wird.");
  }
  int closeFile = zipCloseFileInZip(zf);
  int closeZip = zipClose(zf, nullptr);
  // A failed close leaves an archive without its central directory: that
  // is as broken as a failed write.
  if (writeFailed || closeFile != ZIP_OK || closeZip != ZIP_OK)
    EngineMessage("Error, internal routines fail to create a zipfile with the patchfile.",
                  "Fehler, die internen Routinen versagen beim Anlegen einer Patchdatei.");
}

}  // namespace

PackerEntry PackerTable[kPackerCount] = {
    kInitialRows[0], kInitialRows[1], kInitialRows[2], kInitialRows[3],
    kInitialRows[4], kInitialRows[5], kInitialRows[6], kInitialRows[7],
};

void ResetPackerTable() {
  for (int i = 0; i < kPackerCount; ++i) PackerTable[i] = kInitialRows[i];
}

void CheckPacker(uint32_t index) {
  if (index == 0) return;
  const PackerEntry& row = Row(index);
  if (row.executable.empty())
    EngineFatalError(
        "Error, packer support for selected packer unknown on this platform. Please inform us, if this is wrong!");
  if (!ArchiveResult && !ArchiveFlag2) return;
  if (!row.path.empty()) {
    if (!Readable(row.path)) ReportPackerNotFound(row.path, false);
  } else if (!FindOnPath(row.executable)) {
    ReportPackerNotFound(row.executable, true);
  }
}

namespace {

bool NeedsQuotes(const std::string& text) {
  return text.empty() || text.find_first_of(" \t\"") != std::string::npos;
}

// Text placed inside a quoted part of a command line: a quote is escaped,
// and backslashes right before a quote (or before the quote that closes
// the part, when closesQuote) are doubled, so the archiver's start-up code
// reads back exactly the text given.
std::string EscapeInQuotes(const std::string& text, bool closesQuote) {
  std::string out;
  size_t slashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(closesQuote ? slashes * 2 : slashes, '\\');
  return out;
}

// One argument as the archiver must receive it: file names hold blanks on
// many machines (the Desktop), and split in two the archiver would get
// names that do not exist.
std::string QuotedArgument(const std::string& text) {
  if (!NeedsQuotes(text)) return text;
  return "\"" + EscapeInQuotes(text, true) + "\"";
}

}  // namespace

std::string PackerCommand(uint32_t index) {
  const PackerEntry& row = Row(index);
  return QuotedArgument(row.path.empty() ? row.executable : row.path);
}

std::string ExpandTemplate(const std::string& options, const std::string& baseName, const std::string& patchFile) {
  std::string out;
  // Whether the template itself has a quoted part open here; a name placed
  // inside one is not quoted a second time.
  bool inQuotes = false;
  size_t slashes = 0;
  for (size_t i = 0; i < options.size(); ++i) {
    char c = options[i];
    if (c != '%') {
      if (c == '"' && slashes % 2 == 0) inQuotes = !inQuotes;
      slashes = c == '\\' ? slashes + 1 : 0;
      out += c;
      continue;
    }
    slashes = 0;
    char next = i + 1 < options.size() ? options[i + 1] : '\0';
    if (next == 'p' || next == 'b') {
      const std::string& name = next == 'p' ? patchFile : baseName;
      if (inQuotes) {
        const bool closes = i + 2 < options.size() && options[i + 2] == '"';
        out += EscapeInQuotes(name, closes);
      } else if (NeedsQuotes(name) && !name.empty()) {
        // Quoting only the name keeps what the template puts right after
        // it (".zip") in the same argument.
        out += "\"" + EscapeInQuotes(name, true) + "\"";
      } else {
        out += name;
      }
    } else if (next == '%')
      out += '%';
    else
      EngineFatalError("Error, packer options format does not allow other than %b or %p.");
    ++i;
  }
  return out;
}

void RunPacker(const std::string& commandLine, bool hide) { RunAndWait(commandLine, !hide); }

void ReportArchiverFailed(const std::string& commandLine, unsigned long exitCode) {
  EngineMessageNumber("Error, the archiver ended with exit code %llu; its archive was removed, the patchfile is kept. "
                      "Command line: %s",
                      "Fehler, der Packer endete mit dem Code %llu; sein Archiv wurde entfernt, die Patchdatei "
                      "bleibt erhalten. Befehlszeile: %s",
                      exitCode, commandLine.c_str());
}

void PackPatchfile(const std::string& baseName, const std::string& outputName) {
  const uint32_t index = PackerIndex;
  const PackerEntry& row = Row(index);
  const std::string archive = baseName + row.suffix;
  // A suffix that makes the archive name the patch file itself would delete
  // or overwrite the patch just written.
  if (SameFileName(archive, outputName))
    EngineMessage("Error, seems that hte archive could not be created?!",
                  "Fehler, anscheinend konnte der Packer das Archiv nicht anlegen?!");
  SysDeleteFile(archive);
  if (index == 0) {
    PackInternalZip(archive, outputName);
  } else {
    // An unknown row has no program; it ends at the check below.
    if (!row.executable.empty() || !row.path.empty()) {
      const std::string command = PackerCommand(index) + " " + ExpandTemplate(row.options, baseName, outputName);
      const std::string prefix = FolderPrefix(archive);
      const std::vector<std::string> before = FilesIn(prefix);
      try {
        RunPacker(command, row.hideOutput);
      } catch (...) {
        RemoveArchiverLeftovers(archive, prefix, before);
        throw;
      }
    }
  }
  if (!Readable(archive))
    EngineMessage("Error, seems that hte archive could not be created?!",
                  "Fehler, anscheinend konnte der Packer das Archiv nicht anlegen?!");
}
