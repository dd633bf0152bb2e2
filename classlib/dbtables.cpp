#include "dbtables.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string TrimBlanksRight(const std::string& s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
  return s.substr(0, n);
}

// Restores the data set's filter buffer however the filter event ends.
struct FilterScope {
  const std::vector<uint8_t>*& slot;
  const std::vector<uint8_t>* outer;
  FilterScope(const std::vector<uint8_t>*& s, const std::vector<uint8_t>* v) : slot(s), outer(s) { slot = v; }
  ~FilterScope() { slot = outer; }
};

}  // namespace

// ---------------------------------------------------------------------------
// TField

TField::TField(TDataSet* dataSet, const TDbfFieldDesc& desc, bool required)
    : dataSet_(dataSet), desc_(desc), required_(required) {}

TFieldType TField::DataType() const {
  if (desc_.type == 'C') return ftString;
  if (desc_.type == 'N' && desc_.decimals == 0) return ftInteger;
  return ftUnknown;
}

std::string TField::AsString() const {
  const std::vector<uint8_t>& b = dataSet_->ActiveBuffer();
  if (b.size() < size_t(desc_.offset + desc_.length)) return std::string();
  std::string s(reinterpret_cast<const char*>(&b[size_t(desc_.offset)]), size_t(desc_.length));
  return desc_.type == 'N' || desc_.type == 'F' ? Trim(s) : TrimBlanksRight(s);
}

void TField::SetAsString(const std::string& value) {
  if (desc_.type == 'N' || desc_.type == 'F') {
    std::string v = Trim(value);
    if (v.empty()) {
      std::vector<uint8_t>& b = dataSet_->EditBuffer();
      std::fill(b.begin() + desc_.offset, b.begin() + desc_.offset + desc_.length, uint8_t(' '));
      dataSet_->Notify(TDataSet::deData);
      return;
    }
    int n;
    if (!TryStrToInt(v, n)) throw EDatabaseError(Format("'%s' is not a valid integer value for field '%s'", value, desc_.name));
    SetAsInteger(n);
    return;
  }
  std::vector<uint8_t>& b = dataSet_->EditBuffer();
  for (int i = 0; i < desc_.length; ++i)
    b[size_t(desc_.offset + i)] = i < int(value.size()) ? uint8_t(value[size_t(i)]) : uint8_t(' ');
  dataSet_->Notify(TDataSet::deData);
}

int TField::AsInteger() const {
  std::string s = AsString();
  if (s.empty()) return 0;
  if (desc_.type == 'N' || desc_.type == 'F') {
    // Stored decimals are cut off; an integer field has none.
    size_t dot = s.find('.');
    if (dot != std::string::npos) s = s.substr(0, dot);
    if (s.empty() || s == "-" || s == "+") return 0;
  }
  int n;
  if (!TryStrToInt(s, n) || s.find_first_of("$xX") != std::string::npos)
    throw EDatabaseError(Format("'%s' is not a valid integer value for field '%s'", s, desc_.name));
  return n;
}

void TField::SetAsInteger(int value) {
  std::string text = IntToStr(value);
  if (int(text.size()) > desc_.length)
    throw EDatabaseError(Format("The value %d does not fit field '%s'", value, desc_.name));
  if (desc_.type == 'N' || desc_.type == 'F') {
    std::vector<uint8_t>& b = dataSet_->EditBuffer();
    std::string padded = std::string(size_t(desc_.length) - text.size(), ' ') + text;
    std::copy(padded.begin(), padded.end(), b.begin() + desc_.offset);
    dataSet_->Notify(TDataSet::deData);
  } else {
    SetAsString(text);
  }
}

// ---------------------------------------------------------------------------
// Data links and sources

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_) {
    auto& l = source_->links_;
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
  }
  source_ = source;
  if (source_) source_->links_.push_back(this);
  StateChanged();
  DataChanged();
}

TDataSet* TDataLink::DataSet() const { return source_ ? source_->dataSet_ : nullptr; }
bool TDataLink::Active() const { return DataSet() && DataSet()->Active(); }

TDataSource::~TDataSource() {
  for (TDataLink* l : links_) l->source_ = nullptr;
  links_.clear();
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) {
    auto& s = dataSet_->sources_;
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
  }
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->sources_.push_back(this);
  if (!(ComponentState() & csDestroying)) Changed(TDataSet::deState | TDataSet::deData);
}

TDataSetState TDataSource::State() const { return dataSet_ ? dataSet_->State() : dsInactive; }

void TDataSource::Changed(int event) {
  std::vector<TDataLink*> links = links_;
  for (TDataLink* l : links) {
    if (std::find(links_.begin(), links_.end(), l) == links_.end()) continue;
    if (event & TDataSet::deUpdate) l->UpdateData();
    if (event & TDataSet::deState) l->StateChanged();
    if (event & TDataSet::deData) l->DataChanged();
  }
  if ((event & TDataSet::deState) && OnStateChange) OnStateChange(this);
  if ((event & TDataSet::deData) && OnDataChange) OnDataChange(this);
}

// ---------------------------------------------------------------------------
// TDataSet

TDataSet::~TDataSet() {
  for (TDataSource* s : sources_) s->dataSet_ = nullptr;
}

void TDataSet::CheckActive() const {
  if (state_ == dsInactive) throw EDatabaseError(Format("Cannot perform this operation on a closed dataset (%s)", Name()));
}

void TDataSet::Notify(int event) {
  if (disableCount_ > 0 && !(event & deUpdate)) {
    pending_ |= event;
    return;
  }
  std::vector<TDataSource*> sources = sources_;
  for (TDataSource* s : sources)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->Changed(event);
}

void TDataSet::EnableControls() {
  if (disableCount_ > 0 && --disableCount_ == 0 && pending_) {
    int e = pending_;
    pending_ = 0;
    Notify(e);
  }
}

void TDataSet::SetState(TDataSetState s) {
  if (s == state_) return;
  state_ = s;
  Notify(deState);
}

std::vector<uint8_t>& TDataSet::EditBuffer() {
  if (state_ != dsEdit && state_ != dsInsert)
    throw EDatabaseError(Format("Dataset not in edit or insert mode (%s)", Name()));
  return buffer_;
}

bool TDataSet::Accept(int index, std::vector<uint8_t>& record) {
  ReadRecord(index, record);
  if (TDbfFile::IsDeleted(record)) return false;
  if (!filtered_ || !OnFilterRecord) return true;
  bool accept = true;
  FilterScope scope(filterBuffer_, &record);
  OnFilterRecord(this, accept);
  return accept;
}

int TDataSet::Seek(int index, int step) {
  std::vector<uint8_t> rec;
  for (int n = PhysicalCount(); index >= 0 && index < n; index += step)
    if (Accept(index, rec)) {
      buffer_ = rec;
      return index;
    }
  return -1;
}

void TDataSet::Load(int index) {
  ReadRecord(index, buffer_);
  current_ = index;
}

void TDataSet::Open() {
  if (Active()) return;
  std::vector<TDbfFieldDesc> descs;
  InternalOpen(descs);
  bool fill = fieldDefs_.Count() == 0;
  for (const TDbfFieldDesc& d : descs) {
    bool required = false;
    for (int i = 0; i < fieldDefs_.Count(); ++i)
      if (UpperCase(fieldDefs_.Items(i).Name) == d.name) required = fieldDefs_.Items(i).Required;
    if (fill)
      fieldDefs_.Add(d.name, d.type == 'C' ? ftString : d.type == 'N' && d.decimals == 0 ? ftInteger : ftUnknown,
                     d.length, false);
    fields_.push_back(std::make_unique<TField>(this, d, required));
  }
  state_ = dsBrowse;
  current_ = Seek(0, 1);
  bof_ = true;
  eof_ = current_ < 0;
  if (current_ < 0) buffer_.clear();
  Notify(deState | deData);
  if (AfterOpen) AfterOpen(this);
}

void TDataSet::Close() {
  if (!Active()) return;
  if (BeforeClose) BeforeClose(this);
  InternalClose();
  fields_.clear();
  buffer_.clear();
  current_ = -1;
  eof_ = bof_ = true;
  state_ = dsInactive;
  Notify(deState | deData);
}

TField* TDataSet::FindField(const std::string& name) const {
  std::string u = UpperCase(name);
  for (const auto& f : fields_)
    if (f->FieldName() == u) return f.get();
  return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError(Format("Field '%s' not found", name));
  return f;
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) Post();
}

void TDataSet::First() {
  CheckBrowseMode();
  current_ = Seek(0, 1);
  if (current_ < 0) buffer_.clear();
  bof_ = true;
  eof_ = current_ < 0;
  Notify(deData);
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::Last() {
  CheckBrowseMode();
  current_ = Seek(PhysicalCount() - 1, -1);
  if (current_ < 0) buffer_.clear();
  eof_ = true;
  bof_ = current_ < 0;
  Notify(deData);
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::Next() { Step(1); }

void TDataSet::Prior() { Step(-1); }

// One visible record on in the direction given; at either end the flag is
// set and the record stays.
void TDataSet::Step(int direction) {
  CheckBrowseMode();
  int i = current_ < 0 ? -1 : Seek(current_ + direction, direction);
  if (i < 0) {
    (direction > 0 ? eof_ : bof_) = true;
    if (current_ >= 0) Load(current_);
  } else {
    current_ = i;
    eof_ = bof_ = false;
  }
  Notify(deData);
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::Append() {
  CheckBrowseMode();
  beforeInsert_ = current_;
  buffer_.assign(size_t(fields_.empty() ? 1 : fields_.back()->desc_.offset + fields_.back()->desc_.length), uint8_t(' '));
  state_ = dsInsert;
  eof_ = true;
  Notify(deState | deData);
}

void TDataSet::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (current_ < 0) {
    Append();
    return;
  }
  Load(current_);
  SetState(dsEdit);
  Notify(deData);
}

void TDataSet::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert)
    throw EDatabaseError(Format("Dataset not in edit or insert mode (%s)", Name()));
  Notify(deUpdate);
  for (const auto& f : fields_)
    if (f->Required() && f->AsString().empty())
      throw EDatabaseError(Format("Field '%s' must have a value", f->FieldName()));
  if (state_ == dsEdit)
    WriteRecord(current_, buffer_);
  else
    current_ = AppendRecord(buffer_);
  eof_ = bof_ = false;
  state_ = dsBrowse;
  Notify(deState | deData);
  if (AfterPost) AfterPost(this);
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  if (state_ == dsInsert) current_ = beforeInsert_;
  if (current_ >= 0 && current_ < PhysicalCount())
    Load(current_);
  else {
    current_ = -1;
    buffer_.clear();
  }
  eof_ = current_ < 0;
  state_ = dsBrowse;
  Notify(deState | deData);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (current_ < 0) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  Load(current_);
  buffer_[0] = '*';
  WriteRecord(current_, buffer_);
  state_ = dsBrowse;
  int gone = current_;
  current_ = Seek(gone + 1, 1);
  if (current_ < 0) {
    current_ = Seek(gone - 1, -1);
    eof_ = true;
  }
  if (current_ < 0) {
    buffer_.clear();
    bof_ = eof_ = true;
  }
  Notify(deState | deData);
}

void TDataSet::SetFiltered(bool value) {
  filtered_ = value;
  if (Active()) First();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  std::vector<uint8_t> rec;
  if (current_ >= 0 && Accept(current_, rec)) {
    buffer_ = rec;
    Notify(deData);
  } else {
    First();
  }
}

bool TDataSet::BookmarkValid(TBookmark bm) {
  if (!Active() || bm < 0 || bm >= PhysicalCount()) return false;
  std::vector<uint8_t> rec;
  return Accept(bm, rec);
}

void TDataSet::SetBookmark(TBookmark bm) {
  CheckBrowseMode();
  if (!BookmarkValid(bm)) throw EDatabaseError("Record not found");
  Load(bm);
  eof_ = bof_ = false;
  Notify(deData);
  if (AfterScroll) AfterScroll(this);
}

std::vector<TBookmark> TDataSet::VisibleRecords() {
  std::vector<TBookmark> out;
  if (!Active()) return out;
  std::vector<uint8_t> rec;
  for (int i = 0, n = PhysicalCount(); i < n; ++i)
    if (Accept(i, rec)) out.push_back(i);
  return out;
}

int TDataSet::RecordCount() { return static_cast<int>(VisibleRecords().size()); }

std::string TDataSet::FieldTextAt(TBookmark bm, const TField* field) {
  if (!Active() || !field || bm < 0 || bm >= PhysicalCount()) return std::string();
  if (bm == current_ && !filterBuffer_) return field->AsString();
  std::vector<uint8_t> rec;
  ReadRecord(bm, rec);
  FilterScope scope(filterBuffer_, &rec);
  return field->AsString();
}

// ---------------------------------------------------------------------------
// Tables

TTable::~TTable() {
  try {
    Close();
  } catch (const Exception&) {
  }
}

void TTable::SetTableName(const std::string& name) {
  if (Active()) throw EDatabaseError("Cannot change the table name of an open table");
  tableName_ = name;
}

void TTable::CreateTable() {
  if (Active()) throw EDatabaseError("Cannot create an open table");
  std::vector<TDbfFieldDesc> descs;
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    const TFieldDef& d = FieldDefs().Items(i);
    TDbfFieldDesc f;
    f.name = d.Name;
    if (d.DataType == ftString) {
      f.type = 'C';
      f.length = d.Size;
    } else if (d.DataType == ftInteger) {
      f.type = 'N';
      f.length = 11;
    } else {
      throw EDatabaseError(Format("Field '%s' has a type a table cannot store", d.Name));
    }
    descs.push_back(f);
  }
  // Checked before the file is touched, so that bad definitions leave no file.
  TMemoryStream probe;
  TDbfFile::Create(&probe, descs);
  std::unique_ptr<TFileStream> fs;
  try {
    fs = std::make_unique<TFileStream>(tableName_, fmCreate);
  } catch (const Exception& e) {
    throw EDatabaseError(Format("Cannot create table %s: %s", tableName_, e.Message()));
  }
  probe.SetPosition(0);
  fs->CopyFrom(&probe, 0);
}

void TTable::InternalOpen(std::vector<TDbfFieldDesc>& fields) {
  if (tableName_.empty()) throw EDatabaseError("No table name given");
  try {
    stream_ = std::make_unique<TFileStream>(tableName_, fmOpenReadWrite | fmShareDenyWrite);
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception& e) {
    throw EDatabaseError(Format("Cannot open table %s: %s", tableName_, e.Message()));
  }
  try {
    file_ = std::make_unique<TDbfFile>(stream_.get(), tableName_);
  } catch (...) {
    stream_.reset();
    throw;
  }
  fields = file_->Fields();
}

void TTable::InternalClose() {
  file_.reset();
  stream_.reset();
}

TStreamTable::~TStreamTable() {
  try {
    Close();
  } catch (const Exception&) {
  }
}

void TStreamTable::InternalOpen(std::vector<TDbfFieldDesc>& fields) {
  file_ = std::make_unique<TDbfFile>(stream_, Name().empty() ? std::string("(stream)") : Name());
  fields = file_->Fields();
}
