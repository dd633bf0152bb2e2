// Install messages: negative codes go down the tree to the dialog
// components, positive codes go up from a file to its containers.  The
// parameter objects ride along with them.
#pragma once

#include <cstdint>
#include <string>

#include "compress.h"
#include "sysutils.h"

// Downwards (SendInstallMessage).
enum : int {
  imIncluded = -999,
  imFileStatus = -998,
  imBeforeReplace = -997,
  imFilesDone = -996,
  imGoodEnd = -995,
  imBadEnd = -994,
  imNewDisk = -993,
  imFileGroupStart = -992,
  imBeforeMakeFolder = -991,
  imInstallStart = -990,
  imInstallEnd = -989,
  imDownloadStatus = -988,
  imRebootNeeded = -987,
  imRunStart1 = -986,
  imBeforeReadInfo = -984,
  imAfterReadInfo = -983,
  imWelcome = -982,
  imRunStart4 = -981,
  imManagerBeforeInstall = -980,
  imManagerGoodEnd = -979,
  imManagerBadEnd = -978,
  imRunStart5 = -977,
  imRunStart2 = -976,
  imRunStart3 = -975,
  imPushStatus = -974,
  imPopStatus = -973,
};

// Upwards (ChildNotify).
enum : int {
  cnAfterInstall = 1001,
  cnBeforeInstall = 1002,
  cnReplacing = 1003,
  cnBeforeCompress = 1004,
  cnAfterCompress = 1005,
  cnBeforeCopy = 1006,
  cnAfterCopy = 1007,
  cnInstallStatus = 1008,
  cnCompressStatus = 1009,
  cnCopyStatus = 1010,
  cnNewDisk = 1011,
  cnContainerStart = 1012,
  cnContainerEnd = 1013,
  cnDownloadStatus = 1014,
  cnSkipped = 1015,
  cnNotTransferred = 1016,
};

class TMessageParameter : public TObject {
 public:
  std::string Text;
};

class TFileStatusParameter : public TObject {
 public:
  int32_t BytesDone = 0;
  uint8_t PercentDone = 0;
  std::string FileName;
  TlzhFileStats Stats;
  int64_t OverallBytesDone = 0;
  uint8_t OverallPercent = 0;
};

class TDownloadStatusParameter : public TObject {
 public:
  std::string Name;
  int32_t Total = 0;
  int32_t Received = 0;
  // The bytes of the block just read.
  int32_t Bytes = 0;
  uint8_t Percent = 0;
};

class TDiskParameter : public TObject {
 public:
  int DiskNumber = 0;
  // Where the disk is expected; a receiver may change it.
  std::string Path;
};
