#include <windows.h>

#include <gtest/gtest.h>

#include <ole2.h>

#include <string>

#include "win/comobj.h"

namespace {

int g_destroyed = 0;

class TestSource : public TComObject<IDropSource, IPersist> {
 public:
  ~TestSource() override { ++g_destroyed; }
  STDMETHODIMP QueryContinueDrag(BOOL, DWORD) override { return S_OK; }
  STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
  STDMETHODIMP GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
};

TEST(ComObject, CountStartsAtZeroAndTheFirstHolderKeepsItAlive) {
  g_destroyed = 0;
  TestSource* raw = new TestSource;
  EXPECT_EQ(0, raw->RefCount());
  {
    TComPtr<IDropSource> holder(raw);
    EXPECT_EQ(1, raw->RefCount());

    TComPtr<IPersist> persist;
    ASSERT_EQ(S_OK, holder.As(&persist));
    EXPECT_EQ(2, raw->RefCount());
    CLSID id;
    EXPECT_EQ(S_OK, persist->GetClassID(&id));

    // One identity for IUnknown, whichever interface it is asked through.
    TComPtr<IUnknown> u1, u2;
    ASSERT_EQ(S_OK, holder.As(&u1));
    ASSERT_EQ(S_OK, persist.As(&u2));
    EXPECT_EQ(u1.Get(), u2.Get());

    TComPtr<IDataObject> none;
    EXPECT_EQ(E_NOINTERFACE, holder.As(&none));
    EXPECT_FALSE(none);

    // A borrower that adds and releases a reference (as a drop target does
    // during a drag) leaves the object alive while the holder has it.
    holder->AddRef();
    holder->Release();
    u1.Clear();
    u2.Clear();
    persist.Clear();
    EXPECT_EQ(0, g_destroyed);
    EXPECT_EQ(1, raw->RefCount());

    TComPtr<IDropSource> copy = holder;
    TComPtr<IDropSource> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(2, raw->RefCount());
  }
  EXPECT_EQ(1, g_destroyed);
}

TEST(ComObject, AdoptAndDetachMoveOwnershipWithoutCounting) {
  g_destroyed = 0;
  TestSource* raw = new TestSource;
  raw->AddRef();  // as a system call hands out an object with one reference
  TComPtr<IDropSource> p = TComPtr<IDropSource>::Adopt(raw);
  EXPECT_EQ(1, raw->RefCount());
  IDropSource* back = p.Detach();
  EXPECT_EQ(1, raw->RefCount());
  EXPECT_EQ(0u, back->Release());
  EXPECT_EQ(1, g_destroyed);
}

TEST(ComStrings, AnsiToWideRefusesWhatDoesNotFit) {
  wchar_t buf[6];
  EXPECT_TRUE(AnsiToWide("abcde", buf, 6));
  EXPECT_EQ(std::wstring(L"abcde"), buf);
  // Six characters need seven places: refused and left empty, not cut.
  EXPECT_FALSE(AnsiToWide("abcdef", buf, 6));
  EXPECT_EQ(std::wstring(), buf);
  EXPECT_TRUE(AnsiToWide("", buf, 6));
  EXPECT_FALSE(AnsiToWide("a", buf, 0));

  std::string longPath = "Z:\\" + std::string(300, 'x');
  std::wstring w = AnsiToWide(longPath);
  EXPECT_EQ(longPath.size(), w.size());
  EXPECT_EQ(longPath, WideToAnsi(w));
  EXPECT_EQ("", WideToAnsi(static_cast<const wchar_t*>(nullptr)));
  EXPECT_EQ("\xe9t\xe9", WideToAnsi(AnsiToWide("\xe9t\xe9")));  // code page 1252
}

}  // namespace
