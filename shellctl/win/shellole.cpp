#include "shellole.h"

#include <cstring>

FORMATETC CopyFormatEtc(const FORMATETC& src) {
  FORMATETC out = src;
  if (src.ptd) {
    out.ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(src.ptd->tdSize));
    if (out.ptd) std::memcpy(out.ptd, src.ptd, src.ptd->tdSize);
  }
  return out;
}

TPTFormatEtcList::TPTFormatEtcList(const CLIPFORMAT* formats, int highIndex) {
  for (int i = 0; i <= highIndex; ++i) {
    FORMATETC f = {};
    f.cfFormat = formats[i];
    f.ptd = nullptr;
    f.dwAspect = DVASPECT_CONTENT;
    f.lindex = -1;
    f.tymed = TYMED_HGLOBAL;
    items_.push_back(f);
  }
}

TPTFormatEtcList::~TPTFormatEtcList() {
  for (FORMATETC& f : items_)
    if (f.ptd) CoTaskMemFree(f.ptd);
}

IEnumFORMATETC* TPTFormatEtcList::Enumerator() { return new TPTFormatEtcList_IEnumFormatEtc(this, 0); }

HRESULT TPTFormatEtcList::QueryFormat(const FORMATETC& request) const {
  if (request.dwAspect != DVASPECT_CONTENT) return DV_E_FORMATETC;
  bool formatFound = false;
  for (const FORMATETC& f : items_) {
    if (f.cfFormat != request.cfFormat) continue;
    if (f.tymed & request.tymed) return S_OK;
    formatFound = true;
  }
  return formatFound ? DV_E_TYMED : DV_E_FORMATETC;
}

STDMETHODIMP TPTFormatEtcList_IEnumFormatEtc::Next(ULONG count, FORMATETC* records, ULONG* fetched) {
  ULONG n = 0;
  ULONG total = static_cast<ULONG>(list_->Count());
  while (n < count && pos_ < total) {
    records[n++] = CopyFormatEtc(list_->Items(static_cast<int>(pos_)));
    ++pos_;
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP TPTFormatEtcList_IEnumFormatEtc::Skip(ULONG count) {
  ULONG total = static_cast<ULONG>(list_->Count());
  // Compared as the room left, so a huge count cannot wrap the position.
  if (count > total - pos_) {
    pos_ = total;
    return S_FALSE;
  }
  pos_ += count;
  return S_OK;
}

STDMETHODIMP TPTFormatEtcList_IEnumFormatEtc::Reset() {
  pos_ = 0;
  return S_OK;
}

STDMETHODIMP TPTFormatEtcList_IEnumFormatEtc::Clone(IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = new TPTFormatEtcList_IEnumFormatEtc(list_, pos_);
  (*out)->AddRef();
  return S_OK;
}

STDMETHODIMP TDropSource_shlvtv::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  const DWORD buttons = keyState & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
  if (escapePressed) return DRAGDROP_S_CANCEL;
  // Another button pressed cancels; the starting one released drops.
  if (buttons & ~button_) return DRAGDROP_S_CANCEL;
  if (!(buttons & button_)) return DRAGDROP_S_DROP;
  return S_OK;
}

STDMETHODIMP TDropSource_shlvtv::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }
