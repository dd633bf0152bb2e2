// The dBASE III table file: header, field descriptors and fixed-length
// records.  Portable: it works on any TStream, so the same code reads a file
// on disk and a buffer handed over by a fuzzer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classes.h"
#include "sysutils.h"

MORVANE_EXCEPTION(EDatabaseError, Exception);

struct TDbfFieldDesc {
  std::string name;   // upper case, at most 10 characters
  char type = 'C';    // 'C', 'N', or a foreign type carried through as bytes
  int length = 0;
  int decimals = 0;
  int offset = 0;     // within the record, after the deletion flag
};

class TDbfFile {
 public:
  // The language byte of Windows ANSI (code page 1252).
  static constexpr uint8_t kLanguageAnsi = 0x03;

  // Writes an empty table with these fields to 'stream' (from its start).
  static void Create(TStream* stream, const std::vector<TDbfFieldDesc>& fields);

  // Validates the header against the stream's real size; 'name' is the file
  // named in the EDatabaseError that refuses it.  Reads nothing but the
  // header; the stream must outlive the object.
  TDbfFile(TStream* stream, const std::string& name);

  const std::vector<TDbfFieldDesc>& Fields() const { return fields_; }
  int FieldIndex(const std::string& name) const;  // -1 when none
  int RecordCount() const { return count_; }
  int RecordLength() const { return recordLength_; }
  uint8_t Language() const { return language_; }

  // 'record' holds RecordLength() bytes, the deletion flag first.
  void ReadRecord(int index, std::vector<uint8_t>& record);
  void WriteRecord(int index, const std::vector<uint8_t>& record);
  // Writes the record and the end byte, then the header with the new count,
  // so that a failure between the two leaves a file that opens as before.
  int AppendRecord(const std::vector<uint8_t>& record);
  static bool IsDeleted(const std::vector<uint8_t>& record) { return !record.empty() && record[0] == '*'; }

 private:
  [[noreturn]] void Refuse(const std::string& why) const;
  void WriteHeaderCount();

  TStream* stream_;
  std::string name_;
  std::vector<TDbfFieldDesc> fields_;
  int headerLength_ = 0;
  int recordLength_ = 0;
  int count_ = 0;
  uint8_t language_ = 0;
};
