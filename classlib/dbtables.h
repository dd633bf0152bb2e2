// Table components: a data set with a cursor, fields, a record filter and
// bookmarks, the table over a dBASE file, and the data source through which
// data-aware controls follow it.  Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "dbffile.h"
#include "sysutils.h"

enum TFieldType { ftUnknown, ftString, ftInteger };
enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TFilterOption { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = unsigned;
// A record number (0-based, physical); -1 for none.
using TBookmark = int;

class TDataSet;

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftString;
  int Size = 0;
  bool Required = false;
};

class TFieldDefs {
 public:
  void Add(const std::string& name, TFieldType type, int size = 0, bool required = false) {
    items_.push_back(TFieldDef{name, type, size, required});
  }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const TFieldDef& Items(int i) const { return items_.at(static_cast<size_t>(i)); }

 private:
  std::vector<TFieldDef> items_;
};

// One column of the current record.  Values are read from and written to the
// data set's record buffer; writing needs the edit or insert state.
class TField : public TObject {
 public:
  TField(TDataSet* dataSet, const TDbfFieldDesc& desc, bool required);
  const std::string& FieldName() const { return desc_.name; }
  TFieldType DataType() const;
  int Size() const { return desc_.length; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  // Trailing (and for numbers leading) blanks removed.
  std::string AsString() const;
  void SetAsString(const std::string& value);
  // A blank number reads as 0; text that is no integer raises EDatabaseError.
  int AsInteger() const;
  void SetAsInteger(int value);
  bool IsNull() const { return AsString().empty(); }

 private:
  friend class TDataSet;
  TDataSet* dataSet_;
  TDbfFieldDesc desc_;
  bool required_;
};

// Receives a data set's events through a data source (the data-aware
// controls derive from it).
class TDataLink {
 public:
  virtual ~TDataLink();
  class TDataSource* DataSource() const { return source_; }
  void SetDataSource(class TDataSource* source);
  TDataSet* DataSet() const;
  bool Active() const;
  // The current record or its values changed (also after a scroll).
  virtual void DataChanged() {}
  // Active or State changed.
  virtual void StateChanged() {}
  // Before a post: a control writes its pending text into the field.
  virtual void UpdateData() {}

 private:
  friend class TDataSource;
  class TDataSource* source_ = nullptr;
};

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner) : TComponent(owner) {}
  ~TDataSource() override;
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);
  TDataSetState State() const;
  TNotifyEvent OnDataChange;
  TNotifyEvent OnStateChange;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void Changed(int event);
  TDataSet* dataSet_ = nullptr;
  std::vector<TDataLink*> links_;
};

class TDataSet : public TComponent {
 public:
  using TFilterRecordEvent = std::function<void(TDataSet* dataSet, bool& accept)>;

  explicit TDataSet(TComponent* owner) : TComponent(owner) {}
  ~TDataSet() override;

  TFieldDefs& FieldDefs() { return fieldDefs_; }
  void Open();
  void Close();
  bool Active() const { return state_ != dsInactive; }
  void SetActive(bool value) { value ? Open() : Close(); }
  TDataSetState State() const { return state_; }

  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return current_ < 0 && state_ != dsInsert; }

  void Append();
  void Insert() { Append(); }
  void Edit();
  // Lets the linked controls write their texts, checks the required fields
  // (EDatabaseError, the record stays in its state), then stores it.
  void Post();
  void Cancel();
  void Delete();
  // Posts when editing or inserting; does nothing in browse state.
  void CheckBrowseMode();

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int i) const { return fields_.at(static_cast<size_t>(i)).get(); }
  TField* FindField(const std::string& name) const;
  // EDatabaseError "Field 'X' not found" when there is none.
  TField* FieldByName(const std::string& name) const;

  bool Filtered() const { return filtered_; }
  void SetFiltered(bool value);
  TFilterOptions FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterOptions value) { filterOptions_ = value; }
  TFilterRecordEvent OnFilterRecord;
  // Re-reads the current record and re-applies the filter.
  void Refresh();

  TBookmark Bookmark() const { return current_; }
  // Goes to a record; EDatabaseError when it is deleted or filtered out.
  void SetBookmark(TBookmark bm);
  bool BookmarkValid(TBookmark bm);
  // The visible records in order, as bookmarks (for grids with virtual rows).
  std::vector<TBookmark> VisibleRecords();
  int RecordCount();  // visible records
  // A field's text in the record at 'bm', read without moving the cursor
  // (for grids that draw rows other than the current one); empty when
  // there is no such record.
  std::string FieldTextAt(TBookmark bm, const TField* field);

  void DisableControls() { ++disableCount_; }
  void EnableControls();

  TNotifyEvent AfterOpen, BeforeClose, AfterPost, AfterScroll;

 protected:
  // The storage below the cursor.
  virtual void InternalOpen(std::vector<TDbfFieldDesc>& fields) = 0;
  virtual void InternalClose() = 0;
  virtual int PhysicalCount() = 0;
  virtual void ReadRecord(int index, std::vector<uint8_t>& record) = 0;
  virtual void WriteRecord(int index, const std::vector<uint8_t>& record) = 0;
  virtual int AppendRecord(const std::vector<uint8_t>& record) = 0;
  void CheckActive() const;

 private:
  friend class TField;
  friend class TDataSource;
  enum { deData = 1, deState = 2, deUpdate = 4 };
  const std::vector<uint8_t>& ActiveBuffer() const { return filterBuffer_ ? *filterBuffer_ : buffer_; }
  std::vector<uint8_t>& EditBuffer();
  bool Accept(int index, std::vector<uint8_t>& record);
  // The first visible record from 'index' on in direction 'step'; -1 if none.
  int Seek(int index, int step);
  void Step(int direction);
  void Load(int index);
  void SetState(TDataSetState s);
  void Notify(int event);

  TFieldDefs fieldDefs_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<TDataSource*> sources_;
  TDataSetState state_ = dsInactive;
  std::vector<uint8_t> buffer_;
  const std::vector<uint8_t>* filterBuffer_ = nullptr;
  int current_ = -1;
  int beforeInsert_ = -1;
  bool eof_ = true, bof_ = true;
  bool filtered_ = false;
  TFilterOptions filterOptions_ = 0;
  int disableCount_ = 0;
  int pending_ = 0;
};

// A data set over a dBASE III file.  Each post writes its record at once.
class TTable : public TDataSet {
 public:
  explicit TTable(TComponent* owner) : TDataSet(owner) {}
  ~TTable() override;
  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& name);
  // Writes a new, empty file from FieldDefs (ftString needs a Size of 1 to
  // 254; ftInteger is stored as a number of 11 digits).
  void CreateTable();

 protected:
  void InternalOpen(std::vector<TDbfFieldDesc>& fields) override;
  void InternalClose() override;
  int PhysicalCount() override { return file_->RecordCount(); }
  void ReadRecord(int index, std::vector<uint8_t>& record) override { file_->ReadRecord(index, record); }
  void WriteRecord(int index, const std::vector<uint8_t>& record) override { file_->WriteRecord(index, record); }
  int AppendRecord(const std::vector<uint8_t>& record) override { return file_->AppendRecord(record); }

 private:
  std::string tableName_;
  std::unique_ptr<TStream> stream_;
  std::unique_ptr<TDbfFile> file_;
};

// The same over a stream the caller owns (tests and the fuzzer).
class TStreamTable : public TDataSet {
 public:
  TStreamTable(TComponent* owner, TStream* stream) : TDataSet(owner), stream_(stream) {}
  ~TStreamTable() override;

 protected:
  void InternalOpen(std::vector<TDbfFieldDesc>& fields) override;
  void InternalClose() override { file_.reset(); }
  int PhysicalCount() override { return file_->RecordCount(); }
  void ReadRecord(int index, std::vector<uint8_t>& record) override { file_->ReadRecord(index, record); }
  void WriteRecord(int index, const std::vector<uint8_t>& record) override { file_->WriteRecord(index, record); }
  int AppendRecord(const std::vector<uint8_t>& record) override { return file_->AppendRecord(record); }

 private:
  TStream* stream_;
  std::unique_ptr<TDbfFile> file_;
};
