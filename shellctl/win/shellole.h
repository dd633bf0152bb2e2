// The OLE pieces shared by the shell tree's and the shell list's drag and
// drop: the format list with its enumerator and the drop source.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "idlist.h"
#include "win/comobj.h"

class TPTFormatEtcList {
 public:
  // Each format: no target device, content aspect, index -1, global memory.
  TPTFormatEtcList(const CLIPFORMAT* formats, int highIndex);
  ~TPTFormatEtcList();
  TPTFormatEtcList(const TPTFormatEtcList&) = delete;
  TPTFormatEtcList& operator=(const TPTFormatEtcList&) = delete;
  int Count() const { return static_cast<int>(items_.size()); }
  const FORMATETC& Items(int index) const { return items_[static_cast<size_t>(index)]; }
  // A new enumerator at position 0, count 0 (the caller takes a reference).
  // 'keeper' is held by the enumerator and its clones so that the list
  // outlives them (the object the list belongs to).
  IEnumFORMATETC* Enumerator(IUnknown* keeper = nullptr);
  // S_OK, DV_E_FORMATETC (wrong aspect or no such format) or DV_E_TYMED.
  HRESULT QueryFormat(const FORMATETC& request) const;

 private:
  std::vector<FORMATETC> items_;
};

// Copies a format record, duplicating its target-device block.
FORMATETC CopyFormatEtc(const FORMATETC& src);

class TPTFormatEtcList_IEnumFormatEtc : public TComObject<IEnumFORMATETC> {
 public:
  TPTFormatEtcList_IEnumFormatEtc(const TPTFormatEtcList* list, ULONG pos, IUnknown* keeper = nullptr)
      : list_(list), pos_(pos), keeper_(keeper) {}
  STDMETHODIMP Next(ULONG count, FORMATETC* records, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFORMATETC** out) override;

 private:
  const TPTFormatEtcList* list_;
  ULONG pos_;
  TComPtr<IUnknown> keeper_;
};

// Ends a drag by the button that started it (MK_LBUTTON, MK_RBUTTON or
// MK_MBUTTON): cancel on Escape or when another button is pressed, drop when
// the starting button is released.
class TDropSource_shlvtv : public TComObject<IDropSource> {
 public:
  explicit TDropSource_shlvtv(DWORD button) : button_(button) {}
  STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
  STDMETHODIMP GiveFeedback(DWORD effect) override;

 private:
  DWORD button_;
};

// The global-memory blocks the controls offer; null when out of memory.
// Plain text: the text and a zero byte.
HGLOBAL MakeTextBlock(const std::string& text);
// The dropped-file list, sized from the names.
HGLOBAL MakeDroppedFilesBlock(const std::vector<std::string>& paths);
// "Shell IDList Array": the parent's absolute list (absent: the desktop)
// and each item's relative list.
HGLOBAL MakeIdListArrayBlock(LPCITEMIDLIST parent, const std::vector<LPCITEMIDLIST>& items);
// A copy of a block, or null.
HGLOBAL CopyGlobalBlock(HGLOBAL block);

// The data-object protocol the shell tree's and the shell list's data
// objects share: a fixed set of blocks, each handed out as a copy.
class TPTDataObject : public TComObject<IDataObject> {
 public:
  TPTDataObject() = default;
  ~TPTDataObject() override;
  // The blocks in offer order ("Shell IDList Array", dropped files, text);
  // the object owns them.  E_OUTOFMEMORY when one could not be made.
  HRESULT SetShellBlocks(LPCITEMIDLIST parent, const std::vector<LPCITEMIDLIST>& items,
                         const std::vector<std::string>& paths, const std::string& text);
  const TPTFormatEtcList* Formats() const { return formats_.get(); }

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

 private:
  void FreeBlocks();
  std::unique_ptr<TPTFormatEtcList> formats_;
  std::vector<HGLOBAL> blocks_;  // one for each format
};
