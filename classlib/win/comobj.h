// COM helpers: a holder for interface pointers, a base for the COM objects
// the program hands to the system, and checked string conversions for the
// wide-string interfaces.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <unknwn.h>

#include <cstddef>
#include <string>
#include <utility>

// Holds one reference to an interface pointer and releases it at the end of
// its scope.  Copying adds a reference, moving hands the one it holds over.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes a reference of its own: wrapping a freshly made object whose count
  // is 0 gives it its first reference.
  explicit TComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  TComPtr(const TComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  TComPtr(TComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ~TComPtr() { Clear(); }
  TComPtr& operator=(const TComPtr& other) {
    if (this != &other) Reset(other.p_);
    return *this;
  }
  TComPtr& operator=(TComPtr&& other) noexcept {
    if (this != &other) {
      Clear();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }

  // Takes over a reference that the caller already owns (an out value of a
  // system call) without adding one.
  static TComPtr Adopt(T* p) {
    TComPtr r;
    r.p_ = p;
    return r;
  }
  // Replaces the pointer, adding a reference to the new one.
  void Reset(T* p = nullptr) {
    if (p) p->AddRef();
    T* old = p_;
    p_ = p;
    if (old) old->Release();
  }
  void Clear() { Reset(nullptr); }
  // Releases what is held and gives the address for an out parameter.
  T** Put() {
    Clear();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  // Hands the held reference to the caller.
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Asks the held object for another interface.
  template <class U>
  HRESULT As(TComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), out->PutVoid());
  }

 private:
  T* p_ = nullptr;
};

// The reference count of the program's own COM objects.  The count starts
// at 0 and the object frees itself when a release brings it back to 0, so
// whoever makes one takes its first reference (a TComPtr) and keeps it for
// as long as the object must live.
class TComRefCounted {
 public:
  TComRefCounted(const TComRefCounted&) = delete;
  TComRefCounted& operator=(const TComRefCounted&) = delete;
  LONG RefCount() const { return refCount_; }

 protected:
  TComRefCounted() = default;
  virtual ~TComRefCounted();
  ULONG DoAddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
  ULONG DoRelease() {
    LONG n = InterlockedDecrement(&refCount_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 private:
  LONG refCount_ = 0;
};

// A COM object implementing the interfaces First, Rest...: IUnknown's three
// methods are provided; QueryInterface answers IUnknown and each interface
// named (their identifiers through __uuidof).
template <class First, class... Rest>
class TComObject : public First, public Rest..., public TComRefCounted {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      FindInterface<First, Rest...>(riid, ppv);
    }
    if (!*ppv) return E_NOINTERFACE;
    DoAddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

 private:
  template <class I>
  void FindInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, __uuidof(I))) *ppv = static_cast<I*>(this);
  }
  template <class I, class Next, class... More>
  void FindInterface(REFIID riid, void** ppv) {
    FindInterface<I>(riid, ppv);
    if (!*ppv) FindInterface<Next, More...>(riid, ppv);
  }
};

// ANSI (the process code page) to wide: false, with 'dest' left as an empty
// string, when the text and its terminator do not fit 'destChars'
// characters or do not convert.  Nothing is ever cut short silently: a cut
// path can name a different, existing item.
bool AnsiToWide(const std::string& text, wchar_t* dest, size_t destChars);
std::wstring AnsiToWide(const std::string& text);
// Wide (zero-ended; null gives "") to ANSI in the process code page.
std::string WideToAnsi(const wchar_t* text);
std::string WideToAnsi(const std::wstring& text);
