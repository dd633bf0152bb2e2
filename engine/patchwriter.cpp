// The patch writer: header, body (optionally deflated), entries, end marker,
// and the assembly of executable patches.
//
// Our part of the header and the body's first block (the format leaves
// their content to the writer; they never change for format 190):
//   header bytes 10..73: the creator tag "Morvane patch engine" padded with
//     zero bytes to 64 bytes;
//   header u16 at 74: 8, the length of the body's first block;
//   body's first block, 8 bytes: "MVPB", u16 writer revision 1, u8 the
//     PatchType the patch was made for, u8 the number of sources given.
#include "patchfile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "crc32fast.h"
#include "deflater.h"
#include "dirsys.h"
#include "finder.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "packer.h"
#include "prefetch.h"
#include "patchrun.h"
#include "scan.h"
#include "sys.h"
#include "workers.h"

VersionSlot* VersionSlots = nullptr;
VersionRecord VersionRecords[kMaxVersions];

std::string OutputName;
std::string OutputBaseName;
std::string PatchfileName;
FILE* PatchFile = nullptr;
FILE* PairOldFile = nullptr;
FILE* PairNewFile = nullptr;
FILE* EmbedInputFile = nullptr;
volatile uint8_t EngineInterruptible = 1;
uint32_t CurrentFileTime = 0;
std::string ProgramDir;
uint8_t PatchMode = 1;
uint32_t PairOldSize = 0;
uint32_t PairNewSize = 0;
uint32_t PairWorkingSize = 0;
uint32_t ProtectionOldStart = 0;
uint32_t ProtectionNewStart = 0;
DynArray DirectoryStreams;

const char kCreatorTag[] = "Morvane patch engine";
const uint16_t kWriterRevision = 1;
const uint16_t kFirstBlockLength = 8;

namespace {

// Bytes written to the patch file so far (the marker's length needs it and
// the body goes through stdio, deflated or not).
uint64_t gPatchBytes = 0;
// The deflated body while it is written (CompressPatchfile).
std::unique_ptr<BodyDeflater> gDeflater;
// Files of the unfinished run that must not survive a failure or a cancel:
// the patch file while it is written, then the temporary patch data and
// the executable being assembled.
std::vector<std::string> gUnfinishedFiles;
// The executable being assembled and the part being copied into it.
FILE* gAssemblyOut = nullptr;
FILE* gAssemblyIn = nullptr;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void ForgetUnfinished(const std::string& name) {
  for (size_t i = 0; i < gUnfinishedFiles.size(); ++i) {
    if (gUnfinishedFiles[i] == name) {
      gUnfinishedFiles.erase(gUnfinishedFiles.begin() + static_cast<long>(i));
      return;
    }
  }
}

void CloseFile(FILE*& file) {
  if (file) std::fclose(file);
  file = nullptr;
}

[[noreturn]] void BodyWriteFailed() {
  EngineFatalError("Error, cannot write data to temporary patchfile. Make sure you have sufficient disk space.");
}

void WritePatchRaw(const void* data, size_t n, void (*onFailure)()) {
  if (n == 0) return;
  if (!PatchFile || std::fwrite(data, 1, n, PatchFile) != n) onFailure();
  gPatchBytes += n;
}

[[noreturn]] void HeaderWriteFailed() { EngineFatalError("Error, can't write header into patch file"); }
[[noreturn]] void MarkerWriteFailed() { EngineFatalError("Error, can't write end-of-patch marker."); }

void BodyWriteFailedFn() { BodyWriteFailed(); }

// Sizes that do not fit the format's 32-bit fields end the run instead of
// being written wrapped.
uint32_t CheckedSize(uint64_t size, const std::string& name) {
  if (size > 0xFFFFFFFFull)
    EngineMessage("Error, file \"%s\" is 4 GB or larger, which a patchfile cannot hold!",
                  "Fehler, Datei \"%s\" ist 4 GB oder gr\xf6\xdf" "er, das kann eine Patchdatei nicht aufnehmen!",
                  name.c_str());
  return static_cast<uint32_t>(size);
}

uint32_t OpenFileSize(FILE* file, const std::string& name) {
  uint64_t size = 0;
  if (!SysOpenFileSize(file, size))
    EngineMessage("Couldn't access file \"%s\", internal file handling error?!",
                  "Konnte Datei \"%s\" nicht oeffnen, Fehler im internen Dateihandling?!", name.c_str());
  return CheckedSize(size, name);
}

void WriteU32(uint32_t v) {
  uint8_t b[4];
  Put32(b, v);
  WriteBody(b, 4);
}

const char* const kStubFiles[7] = {nullptr,        "wendle.exe",  "wendlint.exe", "wendl32.exe",
                                   "wendl32i.exe", "wendl16.exe", "wendl16i.exe"};

}  // namespace

void EncodeHeader(const PatchfileHeader& header, uint8_t out[kPatchHeaderSize]) {
  Put32(out, header.magic);
  Put32(out + 4, header.format);
  out[8] = header.mode;
  out[9] = header.flags;
  std::memcpy(out + 10, header.block, 64);
  Put16(out + 74, header.firstBlockLength);
}

void EncodePatchinfo(const PatchinfoRecord& r, uint8_t out[kPatchinfoRecordSize]) {
  Put32(out, r.crc);
  Put32(out + 4, r.size);
  Put32(out + 8, r.dosTime);
  Put16(out + 12, r.oldVersions);
  Put16(out + 14, r.flags);
}

void EncodeVersionRecord(const VersionRecord& r, uint8_t out[kVersionRecordSize]) {
  Put32(out, r.crc);
  Put32(out + 4, r.size);
  Put32(out + 8, r.lengthA);
  Put32(out + 12, r.lengthB1);
  Put32(out + 16, r.lengthB2);
  Put32(out + 20, r.lengthD);
  Put32(out + 24, r.lengthE);
  Put16(out + 28, r.optionB);
  out[30] = r.flags;
  out[31] = r.optionA;
}

namespace {

void WriteDeflated() {
  std::vector<uint8_t> bytes;
  gDeflater->TakeOutput(bytes);
  WritePatchRaw(bytes.data(), bytes.size(), BodyWriteFailedFn);
}

}  // namespace

void StartBodyCompression() {
  if (!CompressPatchfile) return;
  try {
    gDeflater.reset(new BodyDeflater(FinderThreads));
  } catch (const std::bad_alloc&) {
    EngineFatalError("Error, internal compression failed to initialized. Out of memory situation suspected.");
  }
}

void WriteBody(const void* buffer, uint32_t n) {
  if (!CompressPatchfile) {
    WritePatchRaw(buffer, n, BodyWriteFailedFn);
    return;
  }
  if (n == 0) return;
  if (!gDeflater) EngineFatalError("Internal filehandling failure?!");
  gDeflater->Write(buffer, n);
  WriteDeflated();
}

void FinishBody() {
  if (CompressPatchfile && gDeflater) {
    gDeflater->Finish();
    WriteDeflated();
    gDeflater.reset();
  }
  if (PatchFile && std::fflush(PatchFile) != 0) BodyWriteFailed();
}

void WriteName(const std::string& text) {
  if (text.size() > 255) EngineFatalError("Error, Filenames longer than 255 characters not supported!");
  uint8_t length = static_cast<uint8_t>(text.size());
  WriteBody(&length, 1);
  WriteBody(text.data(), length);
}

FILE* MakeTempFile(std::string& nameOut) {
  FILE* file = SysCreateTempFile("gp", nameOut);
  if (!file || nameOut.size() > 300) {
    if (file) {
      std::fclose(file);
      SysDeleteFile(nameOut);
    }
    EngineFatalError("Can't create necessary temporary file!");
  }
  return file;
}

bool ConcatenateFiles(const std::string& first, const std::string& second, const std::string& output) {
  // Both handles live where EndPatchRun can close them: a cancel in the
  // middle must be able to delete the files they hold open.
  gAssemblyOut = SysOpenFile(output, "wb");
  if (!gAssemblyOut) return false;
  bool ok = true;
  const std::string* parts[2] = {&first, &second};
  for (const std::string* part : parts) {
    gAssemblyIn = SysOpenFile(*part, "rb");
    if (!gAssemblyIn) {
      ok = false;
      break;
    }
    char piece[1000];
    size_t got;
    while (ok && (got = std::fread(piece, 1, sizeof piece, gAssemblyIn)) > 0)
      ok = std::fwrite(piece, 1, got, gAssemblyOut) == got;
    if (std::ferror(gAssemblyIn)) ok = false;
    CloseFile(gAssemblyIn);
    if (!ok) break;
  }
  FILE* out = gAssemblyOut;
  gAssemblyOut = nullptr;
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

void EmbedFile(const std::string& path, const std::string& relativeName) {
  uint8_t kind = kEntryEmbedded;
  WriteBody(&kind, 1);
  EmbedInputFile = SysOpenFile(path, "rb");
  if (!EmbedInputFile)
    EngineMessage("Error, can't open file \"%s\" for embedding!",
                  "Fehler, kann Datei \"%s\" nicht zum Einbetten \xf6" "ffnen!", path.c_str());
  uint32_t size = OpenFileSize(EmbedInputFile, path);
  uint32_t time = FileTime(EmbedInputFile);
  ConfirmAsScanned(path, size, time);
  WriteName(relativeName);
  WriteU32(size);
  WriteU32(time);
  uint8_t piece[2000];
  uint32_t left = size;
  uint32_t crc = 0xFFFFFFFF;
  while (left > 0) {
    uint32_t want = left < sizeof piece ? left : static_cast<uint32_t>(sizeof piece);
    // The entry promises exactly size bytes; a file that shrinks meanwhile
    // must not leave a short entry behind.
    if (std::fread(piece, 1, want, EmbedInputFile) != want)
      EngineFatalError("Error, can't read file to be embedded!");
    WriteBody(piece, want);
    crc = crcfast::Update(piece, want, crc);
    left -= want;
  }
  CloseFile(EmbedInputFile);
  ConfirmChecksumAsScanned(path, size, crc);
  NotifyPatchSize(static_cast<uint32_t>(gPatchBytes));
}

namespace {

// The checksum register is linear in its start value: the register after
// A then B is the register after A moved on over |B| zero bytes, xor the
// register of B alone from 0. Moving on over n zero bytes is a product with
// x^(8n) modulo the polynomial (bit-reversed, as the table is), which lets
// pieces of a large file be summed on separate threads and joined.
const uint32_t kCrcPolynomial = 0xEDB88320u;

uint32_t MultiplyModPolynomial(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = b & 1 ? (b >> 1) ^ kCrcPolynomial : b >> 1;
  }
  return product;
}

// The register after crc, then n more bytes whose register from 0 is tail.
uint32_t JoinChecksums(uint32_t crc, uint32_t tail, uint64_t n) {
  uint32_t power = 0x80000000u;  // x^0
  uint32_t square = 0x00800000u;  // x^8: one zero byte
  for (; n > 0; n >>= 1) {
    if (n & 1) power = MultiplyModPolynomial(square, power);
    square = MultiplyModPolynomial(square, square);
  }
  return MultiplyModPolynomial(power, crc) ^ tail;
}

// Whole checksums of the files, each in pieces on all threads.
void ChecksumsOnAllThreads(const std::vector<std::pair<const uint8_t*, uint32_t>>& files, std::vector<uint32_t>& sums) {
  const uint32_t kPiece = 4u << 20;
  struct Piece {
    size_t file;
    uint32_t from, to, crc;
  };
  std::vector<Piece> pieces;
  for (size_t f = 0; f < files.size(); ++f)
    for (uint64_t at = 0; at < files[f].second; at += kPiece)
      pieces.push_back({f, static_cast<uint32_t>(at),
                        static_cast<uint32_t>(std::min<uint64_t>(at + kPiece, files[f].second)), 0});
  std::atomic<size_t> next(0);
  RunOnWorkers(CoreCount() - 1, [&] {
    for (size_t k; (k = next.fetch_add(1)) < pieces.size();) {
      Piece& piece = pieces[k];
      piece.crc = crcfast::Update(files[piece.file].first + piece.from, piece.to - piece.from,
                                  piece.from == 0 ? 0xFFFFFFFFu : 0);
    }
  });
  sums.assign(files.size(), 0xFFFFFFFFu);
  for (const Piece& piece : pieces)
    sums[piece.file] = piece.from == 0 ? piece.crc : JoinChecksums(sums[piece.file], piece.crc, piece.to - piece.from);
}

}  // namespace

void LoadPair(const std::string& oldName, const std::string& newName, uint32_t i) {
  // Files a directory run has read ahead come as they are; the others are
  // opened here.
  std::vector<uint8_t> oldAhead, newAhead;
  uint32_t oldAheadTime = 0, newAheadTime = 0;
  const bool oldRead = InMemory && ActivePrefetcher && ActivePrefetcher->Take(oldName, oldAhead, oldAheadTime);
  const bool newRead = InMemory && ActivePrefetcher && ActivePrefetcher->Take(newName, newAhead, newAheadTime);
  if (!oldRead) {
    PairOldFile = SysOpenFile(oldName, "rb");
    if (!PairOldFile)
      EngineMessage("\n\nError, can't open source file \"%s\" for reading!",
                    "\n\nFehler, kann Quelldatei \"%s\" nicht zum Lesen \xf6" "ffnen!", oldName.c_str());
  }
  if (!newRead) {
    PairNewFile = SysOpenFile(newName, "rb");
    if (!PairNewFile)
      EngineMessage("\n\nError, can't open destination file \"%s\" for writing!",
                    "\n\nFehler, kann Zieldatei \"%s\" nicht zum Lesen \xf6" "ffnen!", newName.c_str());
  }
  VersionSlot& oldSlot = VersionSlots[i - 1];
  VersionSlot& newSlot = VersionSlots[i];
  oldSlot.size = PairOldSize = oldRead ? static_cast<uint32_t>(oldAhead.size()) : OpenFileSize(PairOldFile, oldName);
  newSlot.size = PairNewSize = newRead ? static_cast<uint32_t>(newAhead.size()) : OpenFileSize(PairNewFile, newName);

  uint32_t time;
  if (newRead) {
    time = newAheadTime;
    NoteFileTime(time);
  } else {
    time = FileTime(PairNewFile);
  }
  // Matched on what the scan saw, the pair must read the same files.
  ConfirmAsScanned(oldName, PairOldSize, oldRead ? oldAheadTime : FileTimeOf(PairOldFile));
  ConfirmAsScanned(newName, PairNewSize, time);
  if (PatchMode == 1 && i + 1 == CurrentVersionCount) CurrentFileTime = time;

  uint64_t working = MatchInNewFile ? static_cast<uint64_t>(PairOldSize) + PairNewSize
                                    : (PairOldSize > PairNewSize ? PairOldSize : PairNewSize);
  // The encoder's numbers address the whole pair; it must stay 32-bit.
  PairWorkingSize = CheckedSize(working, newName);

  if (!InMemory) return;
  // Each file is read whole, straight into the pair buffer.
  if (PairOldFile) std::setvbuf(PairOldFile, nullptr, _IONBF, 0);
  if (PairNewFile) std::setvbuf(PairNewFile, nullptr, _IONBF, 0);

  uint64_t total = static_cast<uint64_t>(PairOldSize) + PairNewSize;
  // Copy offsets address the pair buffer in 32 bits, so the pair must fit.
  if (total > 0xFFFFFFFFull || total > SIZE_MAX)
    EngineFatalError(FormatText(GermanMessages ? "Fehler, kann %llu Bytes (%s) nicht allozieren!\n"
                                               : "Error, can't allocate %llu Bytes (%s)!\n",
                                static_cast<unsigned long long>(total),
                                GermanMessages ? "um die Dateien im Speicher zu halten" : "to hold the files in memory"));
  // One block per file (see PairBuffer): a large pair fits a 32-bit
  // process's address space only so.
  PairBuffer = static_cast<uint8_t*>(
      AllocateBlock(PairOldSize, "to hold the files in memory", "um die Dateien im Speicher zu halten"));
  PairNewBuffer = static_cast<uint8_t*>(
      AllocateBlock(PairNewSize, "to hold the files in memory", "um die Dateien im Speicher zu halten"));
  uint8_t* const newBytes = PairNewBuffer;
  bool oldOk = true, newOk = true;
  // Each file's checksums: the whole file's for the check against the scan,
  // the slot's (less a protected range) when it has none. A small pair's
  // are taken beside each read, a large pair's after both reads, in pieces.
  uint32_t oldWhole = 0, newWhole = 0;
  const bool oldSum = oldSlot.crc == 0, newSum = newSlot.crc == 0;
  bool largeSums = false;
  auto sum = [&largeSums](const uint8_t* data, uint32_t size, uint32_t rangeStart, bool slotSum, uint32_t& whole,
                uint32_t& slot) {
    if (largeSums) return;
    whole = WholeChecksum(data, size);
    if (slotSum) slot = ProtectionFound ? ChecksumWithoutRange(data, size, rangeStart) : whole;
  };
  // One file into its block: from the bytes read ahead, or from the file.
  auto readInto = [](uint8_t* to, uint32_t size, bool ahead, const std::vector<uint8_t>& aheadBytes, FILE* file) {
    if (size == 0) return true;
    if (!ahead) return std::fread(to, 1, size, file) == size;
    std::memcpy(to, aheadBytes.data(), size);
    return true;
  };
  auto readOld = [&] {
    oldOk = readInto(PairBuffer, PairOldSize, oldRead, oldAhead, PairOldFile);
    if (oldOk) sum(PairBuffer, PairOldSize, ProtectionOldStart, oldSum, oldWhole, oldSlot.crc);
  };
  auto readNew = [&] {
    newOk = readInto(newBytes, PairNewSize, newRead, newAhead, PairNewFile);
    if (newOk) sum(newBytes, PairNewSize, ProtectionNewStart, newSum, newWhole, newSlot.crc);
  };
  // A large pair's two files are read at once: from the system's cache
  // each read is a copy that one core would do alone. Their checksums are
  // then taken in pieces by all threads.
  if (PairOldSize >= (4u << 20) && PairNewSize >= (4u << 20)) {
    largeSums = true;
    std::atomic<int> next(0);
    RunOnWorkers(1, [&] {
      for (int k; (k = next.fetch_add(1)) < 2;) k == 0 ? readOld() : readNew();
    });
    std::vector<std::pair<const uint8_t*, uint32_t>> files;
    if (oldOk) files.push_back({PairBuffer, PairOldSize});
    if (newOk) files.push_back({newBytes, PairNewSize});
    std::vector<uint32_t> sums;
    ChecksumsOnAllThreads(files, sums);
    if (oldOk) oldWhole = sums[0];
    if (newOk) newWhole = sums[oldOk ? 1 : 0];
    if (oldOk && oldSum)
      oldSlot.crc = ProtectionFound ? ChecksumWithoutRange(PairBuffer, PairOldSize, ProtectionOldStart) : oldWhole;
    if (newOk && newSum)
      newSlot.crc = ProtectionFound ? ChecksumWithoutRange(newBytes, PairNewSize, ProtectionNewStart) : newWhole;
  } else {
    readOld();
    readNew();
  }
  if (!oldOk)
    EngineMessage("\n\nError, can't read file \"%s\"!\n", "\n\nFehler, kann Datei \"%s\" nicht lesen!\n",
                  oldName.c_str());
  if (!newOk)
    EngineMessage("\n\nError, can't read file \"%s\"!\n", "\n\nFehler, kann Datei \"%s\" nicht lesen!\n",
                  newName.c_str());
  ConfirmChecksumAsScanned(oldName, PairOldSize, oldWhole);
  ConfirmChecksumAsScanned(newName, PairNewSize, newWhole);
  CloseFile(PairOldFile);
  CloseFile(PairNewFile);
}

namespace {

uint32_t FeedChecksum(const uint8_t* data, uint32_t from, uint32_t to, uint32_t crc) {
  return from < to ? crcfast::Update(data + from, to - from, crc) : crc;
}

}  // namespace

uint32_t WholeChecksum(const uint8_t* data, uint32_t size) { return FeedChecksum(data, 0, size, 0xFFFFFFFF); }

uint32_t ChecksumWithoutRange(const uint8_t* data, uint32_t size, uint32_t rangeStart) {
  uint32_t before = size, afterStart = size;
  if (ProtectionFound) {
    before = rangeStart < size ? rangeStart : size;
    uint64_t end = static_cast<uint64_t>(rangeStart) + ProtectionLength;
    afterStart = end < size ? static_cast<uint32_t>(end) : size;
  }
  return FeedChecksum(data, afterStart, size, FeedChecksum(data, 0, before, 0xFFFFFFFF));
}

static void MeasureSingleVersion(VersionSlot& slot) {
  FILE* file = SysOpenFile(slot.fullPath, "rb");
  if (!file)
    EngineMessage("\n\nError, can't open source file \"%s\" for reading!",
                  "\n\nFehler, kann Quelldatei \"%s\" nicht zum Lesen \xf6" "ffnen!", slot.fullPath.c_str());
  PairOldFile = file;
  slot.size = OpenFileSize(file, slot.fullPath);
  uint32_t time = FileTime(file);
  ConfirmAsScanned(slot.fullPath, slot.size, time);
  if (PatchMode == 1) CurrentFileTime = time;
  std::vector<uint8_t> content(slot.size);
  if (slot.size > 0 && std::fread(content.data(), 1, slot.size, file) != slot.size)
    EngineMessage("\n\nError, can't read file \"%s\"!\n", "\n\nFehler, kann Datei \"%s\" nicht lesen!\n",
                  slot.fullPath.c_str());
  ConfirmChecksumAsScanned(slot.fullPath, slot.size, WholeChecksum(content.data(), slot.size));
  slot.crc = ChecksumWithoutRange(content.data(), slot.size, ProtectionOffsets[0]);
  CloseFile(PairOldFile);
}

bool WritePatchedFile(const std::string& name, uint32_t n) {
  if (n < 1 || n > static_cast<uint32_t>(kMaxVersions)) EngineFatalError("Internal filehandling failure?!");
  CurrentVersionCount = n;
  for (int k = 0; k < kMaxVersions; ++k) VersionSlots[k].crc = 0;
  ProtectionFound = 0;

  for (uint32_t i = n - 1; i >= 1; --i) {
    NotifyVersionProgress(i, n);
    LookupProtectionRange(name, n);
    DiffPair(i);
    // The oldest pair is diffed last and written first: its streams go into
    // the body from memory, which spares a directory run a temporary file
    // for each of its files.
    if (i == 1) break;
    VersionSlot& slot = VersionSlots[i];
    slot.tempFile = MakeTempFile(slot.tempName);
    if (!SavePairStreams(FileSink(slot.tempFile), i))
      EngineFatalError("Error, can't write patchinfo into patchfile!");
    bool closed = std::fclose(slot.tempFile) == 0;
    slot.tempFile = nullptr;
    if (!closed) EngineFatalError("Error, can't write patchinfo into patchfile!");
    ClearStreams();
  }
  // Without an old version no pair loaded the file, yet its record still
  // needs the real checksum, size and time.
  if (n == 1) {
    LookupProtectionRange(name, n);
    MeasureSingleVersion(VersionSlots[0]);
  }

  const VersionSlot& newest = VersionSlots[n - 1];
  if (PatchMode == 2) {
    uint8_t kind = kEntryPatched;
    WriteBody(&kind, 1);
  }
  PatchinfoRecord info;
  info.crc = newest.crc;
  info.size = newest.size;
  info.dosTime = CurrentFileTime;
  info.oldVersions = static_cast<uint16_t>(n - 1);
  if (ProtectionFound) info.flags |= kPatchinfoProtected;
  if (PatchMode == 2 && MatchesAnyPattern(name)) info.flags |= kPatchinfoMatchesPattern;
  uint8_t record[kVersionRecordSize];
  EncodePatchinfo(info, record);
  WriteBody(record, kPatchinfoRecordSize);
  if (ProtectionFound) {
    WriteU32(ProtectionOffsets[n - 1]);
    WriteU32(ProtectionLength);
  }
  if (PatchMode == 2) WriteName(name);

  for (uint32_t i = 1; i < n; ++i) {
    if (PatchMode == 2) WriteName(VersionSlots[i - 1].relativePath);
    EncodeVersionRecord(VersionRecords[i], record);
    WriteBody(record, kVersionRecordSize);
    if (ProtectionFound) {
      WriteU32(ProtectionOffsets[i - 1]);
      WriteU32(ProtectionLength);
    }
    if (i == 1) {
      SavePairStreams(
          [](const void* data, size_t size) {
            WriteBody(data, static_cast<uint32_t>(size));
            return true;
          },
          i);
      ClearStreams();
      continue;
    }
    VersionSlot& slot = VersionSlots[i];
    slot.tempFile = SysOpenFile(slot.tempName, "rb");
    if (!slot.tempFile) EngineFatalError("Error reading temporarily saved patchinfo!");
    uint8_t piece[2000];
    size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, slot.tempFile)) > 0) WriteBody(piece, static_cast<uint32_t>(got));
    if (std::ferror(slot.tempFile)) EngineFatalError("Error reading temporarily saved patchinfo!");
    CloseFile(slot.tempFile);
    SysDeleteFile(slot.tempName);
    slot.tempName.clear();
  }
  NotifyPatchSize(static_cast<uint32_t>(gPatchBytes));
  return true;
}

uint32_t CurrentVersionCount = 0;

namespace {

bool IsInsideTree(const std::string& path, const std::string& tree) {
  std::string file = UpperText(SysFullPath(path));
  std::string root = UpperText(SysFullPath(tree));
  while (!root.empty() && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  if (file.size() <= root.size() || file.compare(0, root.size(), root) != 0) return false;
  char next = file[root.size()];
  return next == '/' || next == '\\';
}

// An output that is one of the sources, or lies inside a source tree, would
// be truncated or scanned while it is written: refuse it before anything is
// opened for writing.
void RefuseOutputOverSources(const std::string& output, uint32_t sources) {
  for (uint32_t i = 0; i < sources; ++i) {
    const std::string& source = SourceList[i];
    bool clash = SameFileName(output, source) || SysSameFile(output, source) ||
                 (SourceIsDir[i] && IsInsideTree(output, source));
    if (clash)
      EngineMessage("Error, the patchfile \"%s\" would overwrite or lie inside the source \"%s\"!",
                    "Fehler, die Patchdatei \"%s\" w\xfcrde die Quelle \"%s\" \xfc" "berschreiben oder in ihr liegen!",
                    output.c_str(), source.c_str());
  }
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && UpperText(text.substr(text.size() - suffix.size())) == UpperText(suffix);
}

void WriteStdout(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

void ChooseOutputNames(const std::string& given, uint32_t patchType, std::string& output, std::string& base) {
  const std::string suffix = patchType == 0 ? ".utp" : ".exe";
  if (given.size() >= 4 && EndsWithNoCase(given, suffix)) {
    output = given;
    base = given.substr(0, given.size() - 4);
  } else {
    output = given + suffix;
    base = given;
  }
}

namespace {

void RunCreatePatch() {
  if (SourceCount < 2 || SourceCount > static_cast<uint32_t>(kMaxSourceEntries) || PatchType > 6)
    EngineFatalError("Internal filehandling failure?!");
  gUnfinishedFiles.clear();
  gPatchBytes = 0;
  if (!VersionSlots) AllocEngineBuffers();
  const uint32_t sources = SourceCount - 1;

  CheckPacker(PackerIndex);

  PatchfileHeader header;
  if (CompressPatchfile) header.flags |= kHeaderDeflated;
  if (!RegistryInfoFirst.empty()) header.flags |= kHeaderRegistryInfo;

  bool anyDir = false;
  for (uint32_t i = 0; i < sources; ++i) {
    SourceIsDir[i] = IsDirectory(SourceList[i]) ? 1 : 0;
    if (SourceIsDir[i]) anyDir = true;
  }
  PatchMode = anyDir ? 2 : 1;
  DirectoryMode = anyDir ? 1 : 0;
  header.mode = PatchMode;
  CheckProtectionRanges(sources);

  NotifyPatchStart();

  for (uint32_t i = 0; i < sources; ++i) {
    const std::string& source = SourceList[i];
    if (PatchMode == 2) {
      if (!SourceIsDir[i])
        EngineMessage("Error, \"%s\" does not exist or is no directory.\nPlease note that Morvane will only patch "
                      "directories into directories\nor files into files, but you can't mix them.\n",
                      "Fehler,  \"%s\" existiert nicht oder ist kein Verzeichnis.\nBitte beachten Sie, da\xdf Morvane "
                      "nur Verzeichnisse auf Verzeichnisse\noder Dateien auf Dateien abbildet, aber nicht mischen "
                      "kann.\n",
                      source.c_str());
    } else {
      FILE* probe = SysOpenFile(source, "rb");
      if (!probe) {
        if (!SysFileExists(source))
          EngineMessage("Error, can't find file \"%s\"!\n", "Fehler, kann Datei \"%s\" nicht finden!\n",
                        source.c_str());
        EngineMessage("Error, can't read from existing file \"%s\"!\n",
                      "Fehler, kann aus existente Datei \"%s\" nicht lesen!\n", source.c_str());
      }
      std::fclose(probe);
    }
  }

  ChooseOutputNames(SourceList[SourceCount - 1], PatchType, OutputName, OutputBaseName);
  RefuseOutputOverSources(OutputName, sources);
  if (PatchType != 0) {
    const std::string stubPath = ProgramDir + kStubFiles[PatchType];
    if (SameFileName(OutputName, stubPath) || SysSameFile(OutputName, stubPath))
      EngineMessage("Error, the patchfile \"%s\" would overwrite the applier \"%s\"!",
                    "Fehler, die Patchdatei \"%s\" w\xfcrde den Patcher \"%s\" \xfc" "berschreiben!",
                    OutputName.c_str(), stubPath.c_str());
  }

  if (PatchType == 0) {
    PatchfileName = OutputName;
    PatchFile = SysOpenFile(OutputName, "wb");
    if (!PatchFile)
      EngineMessage("Error, can't open patchfile \"%s\" for writing!", "Fehler, kann Patchdatei \"%s\"nicht anlegen!",
                    OutputName.c_str());
  } else {
    PatchFile = SysCreateTempFile("gp", PatchfileName);
    if (!PatchFile) EngineFatalError("Error, can't open temporary patchfile for writing!");
  }
  gUnfinishedFiles.push_back(PatchfileName);

  std::memcpy(header.block, kCreatorTag, sizeof kCreatorTag - 1);
  header.firstBlockLength = kFirstBlockLength;
  uint8_t headerBytes[kPatchHeaderSize];
  EncodeHeader(header, headerBytes);
  WritePatchRaw(headerBytes, sizeof headerBytes, HeaderWriteFailed);

  StartBodyCompression();
  uint8_t first[kFirstBlockLength] = {'M', 'V', 'P', 'B'};
  Put16(first + 4, kWriterRevision);
  first[6] = static_cast<uint8_t>(PatchType);
  first[7] = static_cast<uint8_t>(sources);
  WriteBody(first, kFirstBlockLength);
  WriteName(BackupDir);
  if (header.flags & kHeaderRegistryInfo) {
    WriteStdout("Embedding registry information!\n");
    WriteName(RegistryInfoFirst);
    WriteName(RegistryInfoSecond);
  }

  if (PatchMode == 1) {
    for (uint32_t i = 0; i < sources; ++i) {
      VersionSlots[i].fullPath = SourceList[i];
      VersionSlots[i].relativePath = SourceList[i];
    }
    CheckFileMode();
    WritePatchedFile(OutputName, SourceCount - 1);
  } else {
    ResetDirectorySerial();
    for (uint32_t i = 0; i < sources; ++i) {
      DirectoryStream* stream = new DirectoryStream(SourceList[i]);
      DirectoryStreams.Append(reinterpret_cast<DynElement>(stream));
    }
    MatchDirectories();
    uint8_t end = kEntryEnd;
    WriteBody(&end, 1);
  }

  if (PatchType == 2) {
    WriteU32(0);
    WriteU32(kPatchType2Trailer);
  }

  FinishBody();
  if (gPatchBytes + kEndMarkerSize > 0xFFFFFFFFull)
    EngineMessage("Error, file \"%s\" is 4 GB or larger, which a patchfile cannot hold!",
                  "Fehler, Datei \"%s\" ist 4 GB oder gr\xf6\xdf" "er, das kann eine Patchdatei nicht aufnehmen!",
                  OutputName.c_str());
  uint8_t marker[kEndMarkerSize];
  Put32(marker, static_cast<uint32_t>(gPatchBytes + kEndMarkerSize));
  Put32(marker + 4, kPatchMagic);
  WritePatchRaw(marker, sizeof marker, MarkerWriteFailed);
  FILE* done = PatchFile;
  PatchFile = nullptr;
  if (std::fclose(done) != 0) MarkerWriteFailed();
  const uint32_t patchSize = static_cast<uint32_t>(gPatchBytes);

  if (PatchType == 0) {
    ForgetUnfinished(PatchfileName);
    EndPatchRun();
    WriteStdout(FormatText(GermanMessages ? "\nEinfache Patchdatei \"%s\" mit %lu Bytes erzeugt.\n"
                                          : "\nCreated plain patchfile \"%s\" with %lu Bytes.\n",
                           OutputName.c_str(), static_cast<unsigned long>(patchSize)));
  } else {
    // The temporary patch data stays on the unfinished list until the
    // executable is complete, so a failure or cancel in between removes it.
    ReleaseRunResources();
    const std::string stubName = kStubFiles[PatchType];
    const std::string stubPath = ProgramDir + stubName;
    FILE* stub = SysOpenFile(stubPath, "rb");
    if (!stub) {
      EndPatchRun();
      RaiseStubMissing(stubName);
    }
    std::fclose(stub);
    gUnfinishedFiles.push_back(OutputName);
    if (!ConcatenateFiles(stubPath, PatchfileName, OutputName))
      EngineMessage("Couldn't create file \"%s\" for writing!", "Konnte Datei \"%s\" nicht zum Schreiben oeffnen!",
                    OutputName.c_str());
    uint64_t total = 0;
    FILE* result = SysOpenFile(OutputName, "rb");
    bool sized = result && SysOpenFileSize(result, total);
    if (result) std::fclose(result);
    if (!sized) EngineFatalError("Internal filehandling failure?!");
    CheckedSize(total, OutputName);
    ForgetUnfinished(OutputName);
    EndPatchRun();  // removes the temporary patch data
    WriteStdout(FormatText(GermanMessages ? "\nAusf\xfchrbare Patchdatei \"%s\" mit %lu Bytes erzeugt.\n"
                                          : "\nCreated executable patchfile \"%s\" with %lu Bytes.\n",
                           OutputName.c_str(), static_cast<unsigned long>(total)));
    NotifyPatchSize(static_cast<uint32_t>(total));
  }

  if (ArchiveResult || ArchiveFlag2) PackPatchfile(OutputBaseName, OutputName);
}

}  // namespace

void CreatePatch() {
  try {
    RunCreatePatch();
  } catch (...) {
    // Exceptions raised by the host (or out of memory) bypass
    // EngineFatalError; they must not leave the unfinished files behind.
    EndPatchRun();
    throw;
  }
}

void ReleaseRunResources() {
  CloseFile(PairOldFile);
  CloseFile(PairNewFile);
  CloseFile(EmbedInputFile);
  CloseFile(PatchFile);
  CloseFile(gAssemblyIn);
  CloseFile(gAssemblyOut);
  gDeflater.reset();
  FreePairBuffer();
  ClearStreams();
  ReleaseStreamBlocks();
  if (VersionSlots) {
    for (int k = 0; k < kMaxVersions; ++k) {
      VersionSlot& slot = VersionSlots[k];
      CloseFile(slot.tempFile);
      if (!slot.tempName.empty()) SysDeleteFile(slot.tempName);
      slot.tempName.clear();
    }
  }
  for (uint32_t k = 0; k < DirectoryStreams.Count(); ++k)
    delete reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k));
  DirectoryStreams.Clear();
}

void EndPatchRun() {
  EngineInterruptible = 0;
  ReleaseRunResources();
  for (const std::string& name : gUnfinishedFiles) SysDeleteFile(name);
  gUnfinishedFiles.clear();
  EngineInterruptible = 1;
}

void AllocEngineBuffers() {
  if (!VersionSlots) VersionSlots = new VersionSlot[kMaxVersions];
  AllocFinderBuffers();
}

void FreeEngineBuffers() {
  FreeFinderBuffers();
  ReleaseStreamBlocks();
}
