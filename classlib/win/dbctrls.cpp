#include "dbctrls.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------- TColumn

void TColumn::SetFieldName(const std::string& name) {
  fieldName_ = name;
  grid_->ColumnsChanged();
}

void TColumn::SetTitle(const std::string& caption) {
  title_ = caption;
  grid_->ColumnsChanged();
}

void TColumn::SetWidth(int width) {
  width_ = std::max(width, 0);
  grid_->ColumnsChanged();
}

TField* TColumn::Field() const {
  TDataSet* ds = grid_->DataSet();
  return ds && ds->Active() ? ds->FindField(fieldName_) : nullptr;
}

TColumn* TDBGridColumns::Add() {
  items_.push_back(std::make_unique<TColumn>(grid_));
  grid_->ColumnsChanged();
  return items_.back().get();
}

void TDBGridColumns::Clear() {
  items_.clear();
  grid_->ColumnsChanged();
}

// ---------------------------------------------------------------- TDBGrid

TDBGrid::TDBGrid(TComponent* AOwner) : TWinControl(AOwner), link_(this), columns_(this) {
  width_ = 320;
  height_ = 120;
  TabStop = true;
  color_ = clWindow;
  parent_color_ = false;
}

TDBGrid::~TDBGrid() {
  // The link must not call back into a grid that is half gone.
  syncing_++;
  link_.SetDataSource(nullptr);
}

void TDBGrid::SetOptions(TDBGridOptions value) {
  options_ = value;
  if (HandleAllocated()) RecreateWnd();
}

void TDBGrid::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = WC_LISTVIEWA;
  p.Style |= LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_VSCROLL | WS_HSCROLL;
  if (!(options_ & dgMultiSelect)) p.Style |= LVS_SINGLESEL;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TDBGrid::InitWnd() {
  TWinControl::InitWnd();
  DWORD ex = LVS_EX_HEADERDRAGDROP;
  if (options_ & dgRowSelect) ex |= LVS_EX_FULLROWSELECT;
  SendMessageA(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, ex | LVS_EX_HEADERDRAGDROP, ex);
  UpdateColumns();
  syncing_++;
  SendMessageA(handle_, LVM_SETITEMCOUNT, rows_.size(), LVSICF_NOSCROLL);
  syncing_--;
  SyncCurrentRow();
}

void TDBGrid::ColumnsChanged() {
  if (HandleAllocated() && !(ComponentState() & csDestroying)) UpdateColumns();
}

void TDBGrid::UpdateColumns() {
  HWND header = reinterpret_cast<HWND>(SendMessageA(handle_, LVM_GETHEADER, 0, 0));
  int have = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  for (int i = have - 1; i >= 0; --i) SendMessageA(handle_, LVM_DELETECOLUMN, static_cast<WPARAM>(i), 0);
  for (int i = 0; i < columns_.Count(); ++i) {
    TColumn* c = columns_.Items(i);
    std::string title = c->Title().empty() ? c->FieldName() : c->Title();
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    col.fmt = LVCFMT_LEFT;
    col.cx = c->Width();
    col.pszText = const_cast<char*>(title.c_str());
    col.iSubItem = i;
    SendMessageA(handle_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
  }
  InvalidateRect(handle_, nullptr, TRUE);
}

void TDBGrid::RefreshRows() { DataChanged(); }

void TDBGrid::DataChanged() {
  if (ComponentState() & csDestroying) return;
  TDataSet* ds = DataSet();
  std::vector<TBookmark> rows;
  if (ds && ds->Active()) rows = ds->VisibleRecords();
  if (rows != rows_) {
    rows_ = rows;
    if (HandleAllocated()) {
      syncing_++;
      // Marks belong to row positions, which now hold other records.
      SetRowState(-1, LVIS_SELECTED | LVIS_FOCUSED, 0);
      SendMessageA(handle_, LVM_SETITEMCOUNT, rows_.size(), LVSICF_NOSCROLL);
      syncing_--;
      current_ = -1;
    }
  }
  if (HandleAllocated()) InvalidateRect(handle_, nullptr, FALSE);
  SyncCurrentRow();
}

int TDBGrid::CurrentRow() const {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty() || ds->State() == dsInsert) return -1;
  auto it = std::find(rows_.begin(), rows_.end(), ds->Bookmark());
  return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

void TDBGrid::SetRowState(int row, UINT mask, UINT state) {
  LVITEMA it{};
  it.stateMask = mask;
  it.state = state;
  SendMessageA(handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&it));
}

bool TDBGrid::RowSelected(int row) {
  return HandleAllocated() && row >= 0 &&
         (SendMessageA(handle_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

// The cursor moved (or the rows changed): its row gets the focus.  A row
// already marked keeps the other marks, so that walking the marked rows
// does not lose them; an unmarked one becomes the only mark, as a plain
// click would make it.
void TDBGrid::SyncCurrentRow() {
  if (!HandleAllocated() || syncing_) return;
  int row = CurrentRow();
  TBookmark bm = row >= 0 ? rows_[static_cast<size_t>(row)] : -1;
  if (bm == current_ && (row < 0 || RowSelected(row))) return;
  current_ = bm;
  if (row < 0) return;
  syncing_++;
  if (!RowSelected(row)) {
    SetRowState(-1, LVIS_SELECTED, 0);
    SetRowState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  } else {
    SetRowState(row, LVIS_FOCUSED, LVIS_FOCUSED);
  }
  SendMessageA(handle_, LVM_SETSELECTIONMARK, 0, row);
  SendMessageA(handle_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  syncing_--;
}

std::string TDBGrid::CellText(int row, int column) {
  TDataSet* ds = DataSet();
  if (!ds || row < 0 || row >= RowCount() || column < 0 || column >= columns_.Count()) return std::string();
  return ds->FieldTextAt(rows_[static_cast<size_t>(row)], columns_.Items(column)->Field());
}

std::vector<TBookmark> TDBGrid::SelectedRows() {
  std::vector<TBookmark> out;
  if (HandleAllocated()) {
    for (int i = -1;;) {
      i = static_cast<int>(SendMessageA(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED));
      if (i < 0 || i >= RowCount()) break;
      out.push_back(rows_[static_cast<size_t>(i)]);
    }
  }
  if (out.empty()) {
    int row = CurrentRow();
    if (row >= 0) out.push_back(rows_[static_cast<size_t>(row)]);
  }
  return out;
}

void TDBGrid::SelectRow(TBookmark bm, bool selected) {
  auto it = std::find(rows_.begin(), rows_.end(), bm);
  if (it == rows_.end() || !HandleAllocated()) return;
  syncing_++;
  SetRowState(static_cast<int>(it - rows_.begin()), LVIS_SELECTED, selected ? LVIS_SELECTED : 0);
  syncing_--;
}

void TDBGrid::ClearSelection() {
  if (!HandleAllocated()) return;
  syncing_++;
  SetRowState(-1, LVIS_SELECTED, 0);
  syncing_--;
}

void TDBGrid::CNNotify(TMessage& m) {
  NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
  m.Result = 0;
  switch (h->code) {
    case LVN_GETDISPINFOA:
    case LVN_GETDISPINFOW: {
      // The view asks in the character set its parent chose.
      auto* d = reinterpret_cast<NMLVDISPINFOA*>(m.LParam);
      if (!(d->item.mask & LVIF_TEXT) || !d->item.pszText || d->item.cchTextMax <= 0) break;
      cellBuffer_ = CellText(d->item.iItem, d->item.iSubItem);
      if (h->code == LVN_GETDISPINFOA) {
        size_t n = std::min(cellBuffer_.size(), static_cast<size_t>(d->item.cchTextMax - 1));
        std::memcpy(d->item.pszText, cellBuffer_.data(), n);
        d->item.pszText[n] = 0;
      } else {
        auto* w = reinterpret_cast<wchar_t*>(d->item.pszText);
        int n = MultiByteToWideChar(CP_ACP, 0, cellBuffer_.data(), static_cast<int>(cellBuffer_.size()), w,
                                    d->item.cchTextMax - 1);
        w[std::max(n, 0)] = 0;
      }
      break;
    }
    case LVN_ITEMCHANGED: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(m.LParam);
      if (syncing_ || nm->iItem < 0 || nm->iItem >= RowCount() || !(nm->uChanged & LVIF_STATE)) break;
      if (!(nm->uNewState & LVIS_FOCUSED) || (nm->uOldState & LVIS_FOCUSED)) break;
      // The user moved to another row: it becomes the current record.
      TDataSet* ds = DataSet();
      TBookmark bm = rows_[static_cast<size_t>(nm->iItem)];
      if (!ds || !ds->Active() || (ds->Bookmark() == bm && ds->State() == dsBrowse)) break;
      current_ = bm;
      syncing_++;
      try {
        ds->SetBookmark(bm);
      } catch (...) {
        syncing_--;
        throw;
      }
      syncing_--;
      break;
    }
    default:
      break;
  }
}

void TDBGrid::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY) {
    CNNotify(m);
    return;
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TDBEdit

TDBEdit::TDBEdit(TComponent* AOwner) : TCustomEdit(AOwner), link_(this) {}

TDBEdit::~TDBEdit() {
  loading_ = true;
  link_.SetDataSource(nullptr);
}

void TDBEdit::SetDataField(const std::string& name) {
  dataField_ = name;
  LoadText(true);
}

TField* TDBEdit::Field() const {
  TDataSet* ds = link_.DataSet();
  return ds && ds->Active() && !dataField_.empty() ? ds->FindField(dataField_) : nullptr;
}

void TDBEdit::LoadText(bool stateChanged) {
  if (ComponentState() & csDestroying) return;
  if (stateChanged) modified_ = false;
  if (modified_) return;
  TField* f = Field();
  SetMaxLength(f ? f->Size() : 0);
  loading_ = true;
  try {
    std::string text = f ? f->AsString() : std::string();
    if (Text() != text) SetText(text);
  } catch (...) {
    loading_ = false;
    throw;
  }
  loading_ = false;
}

void TDBEdit::StoreText() {
  if (!modified_) return;
  TField* f = Field();
  modified_ = false;
  if (f) f->SetAsString(Text());
}

bool TDBEdit::BeginEdit() {
  TDataSet* ds = link_.DataSet();
  TField* f = Field();
  if (!ds || !f) return false;
  if (ds->State() == dsEdit || ds->State() == dsInsert) return true;
  ds->Edit();
  return ds->State() == dsEdit || ds->State() == dsInsert;
}

void TDBEdit::Change() {
  if (!loading_) modified_ = true;
  TCustomEdit::Change();
}

void TDBEdit::WndProc(TMessage& m) {
  bool changes = false;
  switch (m.Msg) {
    case WM_CHAR:
      // Printable characters, Backspace and the edit's own Ctrl+V, Ctrl+X
      // and Ctrl+Z change the text; Tab, Enter and Esc do not.
      changes = m.WParam == VK_BACK || m.WParam >= 0x20 || m.WParam == 0x16 || m.WParam == 0x18 || m.WParam == 0x1A;
      break;
    case WM_KEYDOWN:
      changes = m.WParam == VK_DELETE;
      break;
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
      changes = true;
      break;
    default:
      break;
  }
  if (changes && !ReadOnly() && !BeginEdit()) {
    m.Result = 0;
    return;
  }
  TCustomEdit::WndProc(m);
}
