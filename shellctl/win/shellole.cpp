#include "shellole.h"

#include <cstring>
#include <functional>

#include "win/shellutils.h"

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

IEnumFORMATETC* TPTFormatEtcList::Enumerator(IUnknown* keeper) {
  return new TPTFormatEtcList_IEnumFormatEtc(this, 0, keeper);
}

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
  *out = new TPTFormatEtcList_IEnumFormatEtc(list_, pos_, keeper_.Get());
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

// ------------------------------------------------------------------ blocks

namespace {

HGLOBAL BlockOf(size_t size, const std::function<void(uint8_t*)>& fill) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!h) return nullptr;
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  if (!p) {
    GlobalFree(h);
    return nullptr;
  }
  fill(p);
  GlobalUnlock(h);
  return h;
}

}  // namespace

HGLOBAL MakeTextBlock(const std::string& text) {
  return BlockOf(text.size() + 1, [&](uint8_t* p) { std::memcpy(p, text.c_str(), text.size() + 1); });
}

HGLOBAL MakeDroppedFilesBlock(const std::vector<std::string>& paths) {
  return BlockOf(shell::DroppedFilesSize(paths), [&](uint8_t* p) { shell::WriteDroppedFiles(p, paths); });
}

HGLOBAL MakeIdListArrayBlock(LPCITEMIDLIST parent, const std::vector<LPCITEMIDLIST>& items) {
  std::vector<shell::CPidl> lists;
  for (LPCITEMIDLIST i : items) lists.push_back(Bytes(i));
  return BlockOf(shell::IdListArraySize(Bytes(parent), lists),
                 [&](uint8_t* p) { shell::WriteIdListArray(p, Bytes(parent), lists); });
}

HGLOBAL CopyGlobalBlock(HGLOBAL block) {
  if (!block) return nullptr;
  const SIZE_T size = GlobalSize(block);
  const void* src = GlobalLock(block);
  if (!src) return nullptr;
  HGLOBAL copy = BlockOf(size, [&](uint8_t* p) { std::memcpy(p, src, size); });
  GlobalUnlock(block);
  return copy;
}

// ------------------------------------------------------------- data object

TPTDataObject::~TPTDataObject() { FreeBlocks(); }

void TPTDataObject::FreeBlocks() {
  for (HGLOBAL h : blocks_)
    if (h) GlobalFree(h);
  blocks_.clear();
}

HRESULT TPTDataObject::SetShellBlocks(LPCITEMIDLIST parent, const std::vector<LPCITEMIDLIST>& items,
                                      const std::vector<std::string>& paths, const std::string& text) {
  FreeBlocks();
  const CLIPFORMAT formats[] = {CF_IDLIST, CF_HDROP, CF_TEXT};
  formats_.reset(new TPTFormatEtcList(formats, 2));
  blocks_.push_back(MakeIdListArrayBlock(parent, items));
  blocks_.push_back(MakeDroppedFilesBlock(paths));
  blocks_.push_back(MakeTextBlock(text));
  for (HGLOBAL h : blocks_)
    if (!h) return E_OUTOFMEMORY;
  return S_OK;
}

STDMETHODIMP TPTDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium) return E_INVALIDARG;
  if (!formats_) return DV_E_FORMATETC;
  HRESULT hr = formats_->QueryFormat(*format);
  if (FAILED(hr)) return hr;
  for (int i = 0; i < formats_->Count(); ++i) {
    if (formats_->Items(i).cfFormat != format->cfFormat) continue;
    HGLOBAL copy = CopyGlobalBlock(blocks_[static_cast<size_t>(i)]);
    if (!copy) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = copy;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  return DV_E_FORMATETC;
}

STDMETHODIMP TPTDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP TPTDataObject::QueryGetData(FORMATETC* format) {
  if (!format) return E_INVALIDARG;
  return formats_ ? formats_->QueryFormat(*format) : DV_E_FORMATETC;
}

STDMETHODIMP TPTDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TPTDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP TPTDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (direction != DATADIR_GET || !formats_) return E_NOTIMPL;
  // The enumerator holds this object, whose list it walks.
  *out = formats_->Enumerator(static_cast<IDataObject*>(this));
  (*out)->AddRef();
  return S_OK;
}

STDMETHODIMP TPTDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }
STDMETHODIMP TPTDataObject::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
STDMETHODIMP TPTDataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }
