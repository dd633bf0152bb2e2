// The OLE pieces shared by the shell tree's and the shell list's drag and
// drop: the format list with its enumerator and the drop source.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <vector>

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
  IEnumFORMATETC* Enumerator();
  // S_OK, DV_E_FORMATETC (wrong aspect or no such format) or DV_E_TYMED.
  HRESULT QueryFormat(const FORMATETC& request) const;

 private:
  std::vector<FORMATETC> items_;
};

// Copies a format record, duplicating its target-device block.
FORMATETC CopyFormatEtc(const FORMATETC& src);

class TPTFormatEtcList_IEnumFormatEtc : public TComObject<IEnumFORMATETC> {
 public:
  TPTFormatEtcList_IEnumFormatEtc(const TPTFormatEtcList* list, ULONG pos) : list_(list), pos_(pos) {}
  STDMETHODIMP Next(ULONG count, FORMATETC* records, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFORMATETC** out) override;

 private:
  const TPTFormatEtcList* list_;
  ULONG pos_;
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
