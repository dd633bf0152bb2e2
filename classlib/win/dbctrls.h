// Data-aware controls: a grid that shows the visible records of a data set
// through a data source, and an edit bound to one field of the current
// record.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controls.h"
#include "dbtables.h"
#include "stdctrls.h"

class TDBGrid;

// One grid column: the field it shows, its title and its width in pixels.
class TColumn {
 public:
  explicit TColumn(TDBGrid* grid) : grid_(grid) {}
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(const std::string& name);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& caption);
  int Width() const { return width_; }
  void SetWidth(int width);
  // The data set's field, or nullptr while the data set is closed or has
  // no such field.
  TField* Field() const;

 private:
  TDBGrid* grid_;
  std::string fieldName_, title_;
  int width_ = 64;
};

class TDBGridColumns {
 public:
  explicit TDBGridColumns(TDBGrid* grid) : grid_(grid) {}
  TColumn* Add();
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TColumn* Items(int i) const { return items_.at(static_cast<size_t>(i)).get(); }

 private:
  TDBGrid* grid_;
  std::vector<std::unique_ptr<TColumn>> items_;
};

enum TDBGridOption { dgRowSelect = 1, dgMultiSelect = 2 };
using TDBGridOptions = unsigned;

// The grid is a report-style list view with virtual rows: it holds the
// bookmarks of the visible records and asks the data set for a cell's text
// only when the row is drawn.  Clicking a row makes it the current record;
// moving the data set's cursor marks its row.
class TDBGrid : public TWinControl {
 public:
  explicit TDBGrid(TComponent* AOwner);
  ~TDBGrid() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  TDataSet* DataSet() const { return link_.DataSet(); }
  TDBGridColumns& Columns() { return columns_; }
  TDBGridOptions Options() const { return options_; }
  void SetOptions(TDBGridOptions value);

  // The bookmarks of the marked rows in row order; when no row is marked,
  // the current record alone (none when the data set is empty or closed).
  std::vector<TBookmark> SelectedRows();
  // Marks a row (by its bookmark) or unmarks it.
  void SelectRow(TBookmark bm, bool selected);
  void ClearSelection();

  // Rows shown, and the text of a cell as the grid shows it.
  int RowCount() const { return static_cast<int>(rows_.size()); }
  TBookmark RowBookmark(int row) const { return rows_.at(static_cast<size_t>(row)); }
  std::string CellText(int row, int column);
  // The row of the current record, or -1.
  int CurrentRow() const;

  // Re-reads the visible records (after the filter's conditions changed).
  void RefreshRows();
  // Called by the columns when one changes.
  void ColumnsChanged();

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void WndProc(TMessage& m) override;

 private:
  class Link : public TDataLink {
   public:
    explicit Link(TDBGrid* grid) : grid_(grid) {}
    void DataChanged() override { grid_->DataChanged(); }
    // Every state change that alters the rows comes with a data change.

   private:
    TDBGrid* grid_;
  };
  void DataChanged();
  void SyncCurrentRow();
  void UpdateColumns();
  void CNNotify(TMessage& m);
  bool RowSelected(int row);
  void SetRowState(int row, UINT mask, UINT state);

  Link link_;
  TDBGridColumns columns_;
  TDBGridOptions options_ = dgRowSelect | dgMultiSelect;
  std::vector<TBookmark> rows_;
  TBookmark current_ = -1;
  // Set while the grid changes the view itself, so that the view's own
  // notifications are not taken for the user's.
  int syncing_ = 0;
  std::string cellBuffer_;
};

// An edit that shows one field of the current record.  Typing puts the
// data set into edit state; the text goes into the field when the record
// is posted.
class TDBEdit : public TCustomEdit {
 public:
  explicit TDBEdit(TComponent* AOwner);
  ~TDBEdit() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  const std::string& DataField() const { return dataField_; }
  void SetDataField(const std::string& name);
  // The bound field, or nullptr.
  TField* Field() const;

 protected:
  void WndProc(TMessage& m) override;
  void Change() override;

 private:
  class Link : public TDataLink {
   public:
    explicit Link(TDBEdit* edit) : edit_(edit) {}
    void DataChanged() override { edit_->LoadText(false); }
    void StateChanged() override { edit_->LoadText(true); }
    void UpdateData() override { edit_->StoreText(); }

   private:
    TDBEdit* edit_;
  };
  void LoadText(bool stateChanged);
  void StoreText();
  // Puts the data set into edit state before a change of the text; false
  // when it cannot be edited (the change is then refused).
  bool BeginEdit();

  Link link_;
  std::string dataField_;
  // The user changed the text since it was loaded from the field.
  bool modified_ = false;
  bool loading_ = false;
};
