// The developer's side of the install driver: building the distribution
// (setup program or loader, setup archive, file archive or web parts with
// their file list, and the self-extracting executable) and copying a
// self-extracting distribution onto floppies.
#include "install.h"

#include <windows.h>

#include <memory>

#include "installregistry.h"
#include "kitroutines.h"
#include "sysutils.h"
#include "translator.h"

#ifdef DeleteFile
#undef DeleteFile
#endif

const char* const TCustomInstall::IdeLibraryKey = "\\Software\\Development Studio\\3.0\\Library";

namespace {

const char kLoaderProgram[] = "QuenlowLoadProgram.exe";
const char kKitKey[] = "\\Software\\Tobin Reyl\\Q32V31";
const int kFloppyBlock = 8192;

// Copies the bytes [from, to) of source into a new file target.  False on
// any short read or write: the target is then incomplete.
bool CopyRange(const std::string& source, int64_t from, int64_t to, const std::string& target,
               const std::function<void()>& afterBlock) {
  try {
    TFileStream in(source, fmOpenRead | fmShareDenyNone);
    TFileStream out(target, fmCreate);
    in.Seek(from, soBeginning);
    std::vector<char> buf(kFloppyBlock);
    for (int64_t left = to - from; left > 0;) {
      int n = static_cast<int>(std::min<int64_t>(left, kFloppyBlock));
      if (in.Read(buf.data(), n) != n || out.Write(buf.data(), n) != n) return false;
      left -= n;
      if (afterBlock) afterBlock();
    }
    return true;
  } catch (const Exception&) {
    return false;
  }
}

void ProcessPendingMessages() {
  if (Application) Application->ProcessMessages();
}

// The uninstaller's file, made while designing, takes its program from the
// kit directory the build finds the loader in.
const bool kKitDirectoryHooked = [] {
  auto& hooks = InstallDriverInfoHooks();
  if (!hooks.KitDirectory) hooks.KitDirectory = &TCustomInstall::FindKitDirectory;
  return true;
}();

}  // namespace

std::string TCustomInstall::FindKitDirectory() {
  std::string paths = ReadRegistryString(hkCurrentUser, IdeLibraryKey, "SearchPath", "");
  for (int i = 1, n = CountItems(paths, ';'); i <= n; ++i) {
    std::string dir = Trim(GetItem(paths, i, ';'));
    if (!dir.empty() && FileExists(AddBackslash(dir) + KitMarkerFile)) return RemoveBackslash(dir);
  }
  return "";
}

// ---------------------------------------------------------------------------

void TCustomInstall::BuildFromIni() {
  try {
    std::string ini = ExtractFilePath(Application ? Application->ExeName() : ParamStr(0)) + "BUILD.INF";
    if (!FileExists(ini))
      throw IEInstall("Need to have a BUILD.INF file in this directory with the first line specifying the build directory");
    TStringList lines;
    lines.LoadFromFile(ini);
    // A blank first line would build into the root of the current drive.
    if (lines.Count() < 1 || Trim(lines.Strings(0)).empty())
      throw IEInstall("Must be 1 line in BUILD.INF. This line should specify the build directory");
    Build(Application ? Application->ExeName() : ParamStr(0), Trim(lines.Strings(0)), true);
    SetupExitCode() = secComplete;
  } catch (const Exception& e) {
    SetupExitCode() = secFailed;
    if (Application) Application->MessageBox(e.Message(), Application->Title(), MB_OK | MB_ICONERROR);
  }
  if (Application) Application->Terminate();
}

void TCustomInstall::Build(const std::string& sourceExe, const std::string& buildDir, bool selfExtracting) {
  if (selfExtracting && !useLoadingProgram_)
    throw IEInstall(
        "Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is set to False");
  // A web file is found again by the name its record holds: a longer name
  // would be cut there and the installed file would never get its size,
  // date and version.
  if (distributeType_ != dtTraditional) {
    bool allNet = distributeType_ == dtWeb;
    for (TCustomInstallFile* f : InstallFileList())
      if (f->Included() && (allNet || f->IsNetFile()) && f->Name().size() > RemoteFileNameWidth)
        throw IEInstall(
            "The name of the file component %s is longer than %d characters, so the web file list cannot hold it. "
            "Give it a shorter name",
            {f->Name(), static_cast<int>(RemoteFileNameWidth)});
  }
  const std::string dir = RemoveBackslash(buildDir);
  const std::string setupExe = dir + "\\setup.exe";
  if (useLoadingProgram_) {
    BuildSetupArchive(dir, sourceExe);
    std::string kit = FindKitDirectory();
    if (kit.empty())
      throw IEInstall(
          "The HKEY_LOCAL_MACHINE | %s key in the registry is either missing or points to an invalid Quenlow "
          "directory",
          {std::string(kKitKey)});
    std::string loader = AddBackslash(kit) + kLoaderProgram;
    if (!FileExists(loader)) throw IEInstall("The loader program %s was not found", {loader});
    if (!CopyFileA(loader.c_str(), setupExe.c_str(), FALSE))
      throw IEInstall("Cannot copy the loading program from %s to %s", {loader, setupExe});
  } else {
    ForceDirectories(dir);
    std::string target = dir + "\\" + ExtractFileName(sourceExe);
    if (!CopyFileA(sourceExe.c_str(), target.c_str(), FALSE))
      throw IEInstall("Cannot copy the installation application from %s to %s", {sourceExe, target});
  }

  // The tree is compressed into the build folder; the form's own archive
  // settings come back whatever happens.
  TCustomPathSpecifier* savedType = ArchiveFileType();
  std::string savedFile = ArchiveFile();
  SetArchiveFileType(nullptr);
  SetArchiveFile(dir + "\\files.1");
  auto restore = [&] {
    SetArchiveFileType(savedType);
    SetArchiveFile(savedFile);
  };
  try {
    switch (distributeType_) {
      case dtTraditional:
        Compress(coForceNetFilesLocal);
        break;
      case dtWeb:
        Compress(coForceFilesNet);
        WriteFileList();
        break;
      case dtTraditionalNet:
        Compress(0);
        WriteFileList();
        break;
    }
  } catch (...) {
    restore();
    throw;
  }
  restore();
  if (selfExtracting) AppendSelfExtractor(dir);
}

void TCustomInstall::BuildSetupArchive(const std::string& buildDir, const std::string& sourceExe) {
  if (Trim(sourceExe).empty()) throw IEInstall("Cannot create setup file. Executable is blank");
  if (!FileExists(sourceExe)) throw IEInstall("TInstall: Cannot find the executable file %s", {sourceExe});
  const std::string archive = RemoveBackslash(buildDir) + "\\setup.1";
  TQnlwCompress writer(nullptr);
  writer.SetCompressedFile(archive);
  try {
    TStringList files;
    files.Add(sourceExe);
    writer.SetFilesToProcess(&files);
    writer.Compress(lzcOverwrite);
    const std::string sourceDir = ExtractFilePath(sourceExe);
    for (int i = 0; i < presetupFiles_->Count(); ++i) {
      std::string name = Trim(presetupFiles_->Strings(i));
      if (name.empty()) continue;
      // A bare name lies beside the setup program.
      if (ExtractFilePath(name).empty()) name = sourceDir + name;
      TStringList one;
      one.Add(name);
      writer.SetFilesToProcess(&one);
      writer.Compress(lzcOnlyAdd);
    }
  } catch (const EqcDiskFull&) {
    throw IEInstall(
        "The disk that you have specified has been determined to be either too full or is corrupt while trying to "
        "copy the SETUP.1 archive file. You should probably clear all files off of the drive. Minimally, you should "
        "leave enough space on the drive for the SETUP.1 archive file.");
  }
}

void TCustomInstall::AppendSelfExtractor(const std::string& buildDir) {
  const std::string dir = RemoveBackslash(buildDir);
  const std::string setupExe = dir + "\\setup.exe";
  TSelfExtractTrailer trailer;
  try {
    TFileStream out(setupExe, fmOpenReadWrite | fmShareDenyWrite);
    out.Seek(0, soEnd);
    auto append = [&](const std::string& part, int32_t& first, int32_t& last) {
      int64_t start = out.Position();
      int64_t size = FileSizeOf(part);
      bool ok = size > 0 && start + size < INT32_MAX;
      if (ok) {
        try {
          TFileStream in(part, fmOpenRead | fmShareDenyNone);
          ok = out.CopyFrom(&in, 0) == size;
        } catch (const Exception&) {
          ok = false;
        }
      }
      if (!ok)
        throw IEInstall("Cannot create the self-extracting exe because %s could not be loaded onto %s",
                        {part, setupExe});
      first = static_cast<int32_t>(start);
      last = static_cast<int32_t>(start + size - 1);
    };
    append(dir + "\\setup.1", trailer.SetupStart, trailer.SetupEnd);
    if (FileExists(dir + "\\files.1")) append(dir + "\\files.1", trailer.FilesStart, trailer.FilesEnd);
    std::string bytes = EncodeSelfExtractTrailer(trailer);
    if (out.Write(bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size()))
      throw IEInstall("Cannot create the self-extracting exe because %s could not be loaded onto %s",
                      {std::string("the trailer"), setupExe});
  } catch (const IException&) {
    throw;
  } catch (const Exception&) {
    throw IEInstall("Cannot create the self-extracting exe because %s could not be loaded onto %s",
                    {dir + "\\setup.1", setupExe});
  }
}

void TCustomInstall::WriteFileList() {
  const std::string dir = ExtractFileDir(GetArchivePath());
  if (!dir.empty()) ForceDirectories(dir);
  std::vector<TRemoteFileRecord> records;
  for (TCustomInstallFile* f : InstallFileList()) {
    if (!f->Compressed()) continue;
    TRemoteFileRecord r;
    r.Size = f->ArchiveSize();
    r.Date = f->ArchiveDate();
    r.Name = f->Name();
    r.Version = f->ArchiveVersion();
    records.push_back(r);
  }
  const std::string path = AddBackslash(dir) + "filelist.lst";
  const std::string bytes = EncodeRemoteFileList(records);
  try {
    TFileStream out(path, fmCreate);
    out.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  } catch (const Exception& e) {
    throw IEInstall("Cannot write the list of files %s: %s", {path, e.Message()});
  }
}

// ---------------------------------------------------------------------------

void TCustomInstall::TransferToFloppies(const std::string& drive) {
  if (Screen) Screen->SetCursor(crHourGlass);
  bool pushed = false;
  TQnlwCompress* reader = FloppyReader ? FloppyReader : GlobalArchiveReader();
  auto savedNewDisk = reader->OnNewDisk;
  auto savedStatus = reader->OnStatus;
  try {
    if (!commandLine_.Has(clSelfExtract))
      throw IEInstall(
          "Sorry... You can only transfer this installation to floppies through the self-extracting file. Usage "
          "example: setup.exe *TODISK");
    const std::string exe = SetupProgramPath();
    TSelfExtractTrailer trailer;
    ReadSelfExtractTrailer(exe, trailer);
    PushStatus(TranslateText("Transferring this installation to floppies. Please wait..."));
    pushed = true;
    const std::string target = IncludeTrailingBackslash(drive);
    if (!CopyRange(exe, 0, trailer.SetupStart, target + "setup.exe", nullptr))
      throw IEInstall("Cannot create setup.exe on the A drive. Probably not enough room");
    if (!CopyRange(exe, trailer.SetupStart, int64_t(trailer.SetupEnd) + 1, target + "setup.1", ProcessPendingMessages))
      throw IEInstall("Cannot create setup.1 on the A drive. Probably not enough room");
    if (trailer.FilesStart) {
      reader->OnNewDisk = [](TQnlwCompress* sender, int disk, std::string&) {
        if (Screen) Screen->SetCursor(crDefault);
        int answer = Application ? Application->MessageBox(Format(TranslateText("Please insert disk %d"), {disk}),
                                                           Application->Title(), MB_OKCANCEL | MB_ICONQUESTION)
                                 : IDCANCEL;
        if (Screen) Screen->SetCursor(crHourGlass);
        if (answer != IDOK) {
          sender->SetAbort(true);
          throw IEInstall("Aborted by user");
        }
      };
      reader->OnStatus = [this](TQnlwCompress*, const TlzhFileStats& stats) {
        TFileStatusParameter status;
        status.FileName = stats.FileName;
        status.BytesDone = stats.BytesDone;
        status.PercentDone = stats.PercentDone;
        status.Stats = stats;
        status.OverallBytesDone = stats.TotalDone;
        status.OverallPercent = stats.TotalPercent;
        if (OnStatus) OnStatus(this, nullptr, &status);
        ProcessPendingMessages();
      };
      reader->SetCompressedFile(exe);
      reader->SetOffset(trailer.FilesStart);
      reader->SpanDisks(RemoveBackslash(drive), "files.1");
      // The reader ends an aborted copy quietly; the transfer did not finish.
      if (reader->Abort()) throw IEInstall("Aborted by user");
    }
    SetupExitCode() = secComplete;
  } catch (const Exception& e) {
    SetupExitCode() = secFailed;
    if (Application) Application->MessageBox(e.Message(), Application->Title(), MB_OK | MB_ICONERROR);
  }
  reader->OnNewDisk = savedNewDisk;
  reader->OnStatus = savedStatus;
  if (pushed) PopStatus();
  if (Screen) Screen->SetCursor(crDefault);
  if (Application) Application->Terminate();
}
