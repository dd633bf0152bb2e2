#include <windows.h>

#include <gtest/gtest.h>

#include <ole2.h>

#include "win/shellole.h"

namespace {

TEST(FormatList, QueryAndEnumerate) {
  const CLIPFORMAT formats[] = {CF_HDROP, CF_TEXT};
  TPTFormatEtcList list(formats, 1);
  ASSERT_EQ(2, list.Count());
  FORMATETC q = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(S_OK, list.QueryFormat(q));
  q.tymed = TYMED_ISTREAM;
  EXPECT_EQ(HRESULT(0x80040069), list.QueryFormat(q));
  q.tymed = TYMED_HGLOBAL;
  q.dwAspect = DVASPECT_ICON;
  EXPECT_EQ(HRESULT(0x80040064), list.QueryFormat(q));
  q.dwAspect = DVASPECT_CONTENT;
  q.cfFormat = CF_BITMAP;
  EXPECT_EQ(HRESULT(0x80040064), list.QueryFormat(q));

  TComPtr<IEnumFORMATETC> e(list.Enumerator());
  FORMATETC got[3] = {};
  ULONG n = 9;
  EXPECT_EQ(S_OK, e->Next(1, got, &n));
  EXPECT_EQ(1u, n);
  EXPECT_EQ(CF_HDROP, got[0].cfFormat);
  TComPtr<IEnumFORMATETC> c = TComPtr<IEnumFORMATETC>::Adopt(nullptr);
  ASSERT_EQ(S_OK, e->Clone(c.Put()));
  EXPECT_EQ(S_FALSE, e->Next(3, got, &n));
  EXPECT_EQ(1u, n);
  EXPECT_EQ(CF_TEXT, got[0].cfFormat);
  EXPECT_EQ(S_FALSE, e->Next(1, got, nullptr));
  // The clone kept the position it was made at.
  EXPECT_EQ(S_OK, c->Next(1, got, nullptr));
  EXPECT_EQ(CF_TEXT, got[0].cfFormat);
  EXPECT_EQ(S_OK, e->Reset());
  EXPECT_EQ(S_OK, e->Skip(2));
  EXPECT_EQ(S_OK, e->Reset());
  EXPECT_EQ(S_OK, e->Skip(1));
  EXPECT_EQ(S_FALSE, e->Skip(0xFFFFFFFFu));  // clamped, no wrap round
  EXPECT_EQ(S_FALSE, e->Next(1, got, &n));
  EXPECT_EQ(0u, n);
  TComPtr<IUnknown> u;
  EXPECT_EQ(S_OK, e.As(&u));
  TComPtr<IDataObject> none;
  EXPECT_EQ(E_NOINTERFACE, e.As(&none));
}

TEST(DropSource, EndsByItsOwnButton) {
  TComPtr<IDropSource> left(new TDropSource_shlvtv(MK_LBUTTON));
  EXPECT_EQ(S_OK, left->QueryContinueDrag(FALSE, MK_LBUTTON | MK_SHIFT));
  EXPECT_EQ(DRAGDROP_S_DROP, left->QueryContinueDrag(FALSE, 0));
  EXPECT_EQ(DRAGDROP_S_CANCEL, left->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON));
  EXPECT_EQ(DRAGDROP_S_CANCEL, left->QueryContinueDrag(TRUE, MK_LBUTTON));
  EXPECT_EQ(DRAGDROP_S_CANCEL, left->QueryContinueDrag(FALSE, MK_MBUTTON));
  EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, left->GiveFeedback(DROPEFFECT_COPY));
  TComPtr<IDropSource> right(new TDropSource_shlvtv(MK_RBUTTON));
  EXPECT_EQ(S_OK, right->QueryContinueDrag(FALSE, MK_RBUTTON));
  EXPECT_EQ(DRAGDROP_S_DROP, right->QueryContinueDrag(FALSE, 0));
}

}  // namespace
