// The shell layer against Wine's real namespace: ID lists of real folders,
// display names, item data of real files, shell links, new folders and
// context menus of real items.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include <string>
#include <vector>

#include "classes.h"
#include "gui_test_support.h"
#include "shelltext.h"
#include "shell_test_common.h"
#include "sysutils.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/shconsts.h"
#include "win/shelldata.h"
#include "win/shellmenu.h"
#include "win/shellole.h"
#include "win/shellutils.h"

using testsupport::Join;

// The toolchain's headers give this interface no identifier for __uuidof.
__CRT_UUID_DECL(IShellDetails, 0x000214EC, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

namespace shelltest {

TFolderOwner::TFolderOwner(const std::string& path) : pidl_(Parse(path)) {
  PidlToFolder(pidl_.get(), folder_.Put());
}

LPITEMIDLIST TFolderOwner::Child(const std::string& name) {
  std::wstring w = AnsiToWide(name);
  LPITEMIDLIST child = nullptr;
  ULONG eaten = 0;
  if (FAILED(folder_->ParseDisplayName(nullptr, nullptr, &w[0], &eaten, &child, nullptr))) return nullptr;
  return child;
}

class ShellEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Application->Initialize();
  }
};

}  // namespace shelltest

using namespace shelltest;

namespace {

::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

// Nothing in this program starts the units: linking the controls does.
TEST(ShellUnits, StartedWithTheProgram) {
  // OLE is up for this thread already: a further start only counts.
  EXPECT_EQ(S_FALSE, OleInitialize(nullptr));
  OleUninitialize();
  EXPECT_NE(0, CF_IDLIST);
  EXPECT_EQ(CF_IDLIST, RegisterClipboardFormatA("Shell IDList Array"));
  EXPECT_TRUE(IsWinNT());
  EXPECT_NE(0u, COMCTL32_VER.MS);
  EXPECT_NE(nullptr, shell95::SHGetDataFromIDListA);
  EXPECT_NE(nullptr, ShellColumnWidths());
  EXPECT_EQ(0, ShellDirectoryCols()[21]);
  EXPECT_EQ("%sKB", LoadShellString(52533));
  EXPECT_EQ("Unable to create the folder '%2'\r\r%1", LoadShellString(52547));
  EXPECT_EQ("MS Sans Serif", LoadShellString(52594));
  EXPECT_EQ("", LoadShellString(52595));
  EXPECT_NE(nullptr, SystemImageList(false));
  EXPECT_NE(SystemImageList(true), SystemImageList(false));
}

TEST(ShellPidls, PathsFoldersNamesAndArrays) {
  const std::string base = Scratch("ns");
  const std::string deep = Join(Join(Join(Join(base, "one"), "two"), "three"), "four");
  testsupport::MakeDirs(deep);
  const std::string file = Join(base, "file.txt");
  testsupport::WriteFileText(file, "hello");

  TPidl a = Parse(deep), b = Parse(deep);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(SameText(deep, PidlToPath(a.get())));
  EXPECT_EQ(0, ComparePidls(a.get(), b.get()));
  TPidl empty(EmptyPidl());
  EXPECT_EQ(2u, PidlSize(empty.get()));
  EXPECT_EQ(-1, ComparePidls(empty.get(), a.get()));
  EXPECT_EQ(-1, ComparePidls(a.get(), empty.get()));
  EXPECT_EQ(-1, ComparePidls(nullptr, a.get()));
  EXPECT_EQ(0, ComparePidls(nullptr, nullptr));
  EXPECT_EQ(0, ComparePidls(empty.get(), empty.get()));
  TPidl other = Parse(base);
  EXPECT_NE(0, ComparePidls(a.get(), other.get()));
  EXPECT_EQ(SpecialFolderPath(nullptr, CSIDL_DESKTOPDIRECTORY), PidlToPath(nullptr));

  // A path too long for the parse buffer fails instead of naming a cut one.
  LPITEMIDLIST p = reinterpret_cast<LPITEMIDLIST>(1);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), PathToPidl(base + "\\" + std::string(300, 'x'), &p));
  EXPECT_EQ(nullptr, p);
  EXPECT_FALSE(SUCCEEDED(PathToPidl(Join(base, "missing"), &p)));

  // Display names of a file through its folder and through the desktop.
  TPidl filePidl = Parse(file);
  TFolderOwner owner(base);
  TPidl child(owner.Child("file.txt"));
  ASSERT_TRUE(child);
  EXPECT_EQ("file.txt", GetDisplayName(owner.Folder(), child.get(), 1));
  EXPECT_TRUE(SameText(file, GetDisplayName(owner.Folder(), child.get(), 2)));
  EXPECT_FALSE(GetDisplayName(owner.Folder(), child.get(), 0).empty());
  EXPECT_TRUE(SameText(file, GetDisplayName(nullptr, filePidl.get(), 2)));
  EXPECT_GE(SysImageIndex(filePidl.get(), SHGFI_SMALLICON), 0);

  // Items and parents of a deep path.
  TPTIdListArray arr(a.get());
  const int n = arr.Count();
  ASSERT_GE(n, 6);
  EXPECT_TRUE(SameText(Join(Join(Join(base, "one"), "two"), "three"), PidlToPath(arr.Parent(1))));
  EXPECT_EQ(2u, PidlSize(arr.Parent(n)));
  EXPECT_EQ(nullptr, arr.Parent(n + 1));
  LPCITEMIDLIST last = arr.Items(n - 1);
  EXPECT_EQ(1, shell::PidlItemCount(Bytes(last)));
  EXPECT_EQ(PidlSize(last) - 2, shell::PidlItemSize(shell::PidlLastItem(Bytes(a.get()))));
  TComPtr<IShellFolder> threeFolder;
  ASSERT_EQ(S_OK, PidlToFolder(arr.Parent(1), threeFolder.Put()));
  EXPECT_EQ("four", GetDisplayName(threeFolder.Get(), arr.Items(n - 1), 1));
  try {
    arr.Items(n);
    ADD_FAILURE() << "no range error";
  } catch (const Exception& e) {
    EXPECT_EQ("TPTIdListArray - index " + std::to_string(n) + " out of range", e.Message());
  }
  TPTIdListArray none(empty.get());
  EXPECT_EQ(0, none.Count());
  EXPECT_EQ(2u, PidlSize(none.Items(0)));
  EXPECT_THROW(none.Items(5), Exception);
  EXPECT_THROW(none.Parent(-1), Exception);
  EXPECT_THROW(arr.Items(-1), Exception);

  // Splits: a file, a top-level item and the desktop.
  TComPtr<IShellFolder> folder;
  LPITEMIDLIST parent = nullptr, leaf = nullptr;
  ASSERT_EQ(S_OK, SplitPidl(filePidl.get(), folder.Put(), &parent, &leaf));
  EXPECT_TRUE(SameText(base, PidlToPath(parent)));
  EXPECT_EQ("file.txt", GetDisplayName(folder.Get(), leaf, 1));
  ShellFree(parent);
  ShellFree(leaf);
  LPITEMIDLIST drives = nullptr;
  ASSERT_EQ(S_OK, SpecialFolderPidl(nullptr, CSIDL_DRIVES, &drives));
  TPidl drivesHolder(drives);
  ASSERT_EQ(S_OK, SplitPidl(drives, folder.Put(), &parent, &leaf));
  EXPECT_EQ(nullptr, parent);
  EXPECT_EQ(0, ComparePidls(drives, leaf));
  ShellFree(leaf);
  ASSERT_EQ(S_OK, SplitPidl(empty.get(), folder.Put(), &parent, &leaf));
  std::string desktopDir = SpecialFolderPath(nullptr, CSIDL_DESKTOPDIRECTORY);
  EXPECT_TRUE(SameText(ExtractFilePath(desktopDir), IncludeTrailingBackslash(PidlToPath(parent))))
      << PidlToPath(parent) << " / " << desktopDir;
  EXPECT_TRUE(SameText(desktopDir, GetDisplayName(folder.Get(), leaf, 2)));
  ShellFree(parent);
  ShellFree(leaf);

  // Tree data over the same folders.
  TPTShTreeData never;
  EXPECT_THROW(never.Path(), Exception);
  TPTShTreeData root, node;
  root.Init(nullptr, ShellMalloc(), arr.Parent(1));
  node.Init(&root, ShellMalloc(), arr.Items(n - 1));
  EXPECT_TRUE(SameText(deep, node.Path()));
  EXPECT_EQ(0, ComparePidls(a.get(), node.AbsolutePidl()));
  ASSERT_NE(nullptr, node.Folder());
  TComPtr<IDropTarget> target;
  EXPECT_EQ(S_OK, node.DropTarget(nullptr, target.Put()));
  EXPECT_TRUE(target);
}

TEST(ShellFormat, NumberedInserts) {
  EXPECT_EQ("b then a", FormatStrPos("%2 then %1", std::vector<std::string>{"a", "b"}));
  // An insert beyond those given is empty, not read from past the array.
  EXPECT_EQ("a-b-", FormatStrPos("%1-%2-%3", std::vector<std::string>{"a", "b"}));
  EXPECT_EQ("x", FormatStrPos("x%12", std::vector<std::string>{}));
  // Inserts are not formats themselves.
  EXPECT_EQ("[%1 100%]", FormatStrPos("[%1]", std::vector<std::string>{"%1 100%"}));
  EXPECT_EQ("", FormatStrPos("", std::vector<std::string>{"a"}));
  std::vector<std::string> many(51, "z");
  try {
    FormatStrPos("%1", many);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ("FormatStrPos: Too many substitution strings", e.Message());
  }
}

TEST(ShellFolders, NewFolderNamesAndFailure) {
  const std::string base = Scratch("newfolder");
  ASSERT_TRUE(CreateDirectoryA(Join(base, "New Folder").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(Join(base, "New Folder (2)").c_str(), nullptr));
  std::string name;
  EXPECT_TRUE(MakeNewFolder(base, name));
  EXPECT_EQ("New Folder (3)", name);
  EXPECT_TRUE(DirectoryExists(Join(base, "New Folder (3)")));

  // Under a plain file nothing can be made: the user is told why.
  const std::string plain = Join(base, "plain.txt");
  testsupport::WriteFileText(plain, "x");
  std::vector<std::string> shown;
  UINT flags = 0;
  Application->MessageBoxFunction = [&](HWND, const std::string& text, const std::string&, UINT f) {
    shown.push_back(text);
    flags = f;
    return IDOK;
  };
  name = "unchanged";
  EXPECT_FALSE(MakeNewFolder(Join(plain, "sub"), name));
  Application->MessageBoxFunction = nullptr;
  EXPECT_EQ("unchanged", name);
  ASSERT_EQ(1u, shown.size());
  // The platform's formatter writes each line break as CR LF.
  const std::string head = "Unable to create the folder 'New Folder'\r\n\r\n";
  ASSERT_EQ(head, shown[0].substr(0, head.size()));
  EXPECT_EQ(TrimRight(SysErrorMessage(ERROR_PATH_NOT_FOUND)), shown[0].substr(head.size()));
  EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING), flags);
}

TEST(ShellItems, ListDataOfRealFiles) {
  const std::string base = Scratch("items");
  const std::string data = Join(base, "data.bin");
  testsupport::WriteFileBytes(data, std::vector<uint8_t>(1025, 7));
  // An even second: the shell keeps item times at two-second steps.
  SetEvenFileTime(data);
  const std::string sub = Join(base, "Sub");
  testsupport::MakeDirs(sub);
  const std::string lnk = Join(base, "short.lnk");
  ASSERT_EQ(S_OK, MakeLink(lnk, data, "", "", "", 0, base, SW_SHOWNORMAL, 0));

  TFolderOwner owner(base);
  TPTShListData file(&owner), dir(&owner), link(&owner);
  TPidl c1(owner.Child("data.bin")), c2(owner.Child("Sub")), c3(owner.Child("short.lnk"));
  ASSERT_TRUE(c1 && c2 && c3);
  file.SetRelativePidl(c1.get());
  dir.SetRelativePidl(c2.get());
  link.SetRelativePidl(c3.get());

  EXPECT_TRUE(SameText(data, file.FullPath()));
  EXPECT_EQ("data.bin", file.FileName());
  EXPECT_EQ("Sub", dir.FileName());
  ULONG attrs = file.Attributes();
  EXPECT_TRUE(attrs & SFGAO_FILESYSTEM);
  EXPECT_FALSE(attrs & SFGAO_FOLDER);
  EXPECT_TRUE(attrs & SFGAO_CANCOPY);
  EXPECT_FALSE(file.IsFolder());
  EXPECT_TRUE(dir.IsFolder());
  EXPECT_FALSE(file.IsLink());
  EXPECT_TRUE(link.IsLink());
  EXPECT_TRUE(file.DisplayName().find("data") == 0) << file.DisplayName();
  EXPECT_EQ(file.DisplayName(), file.ColumnText(0));

  // Details: the size rounded up to kilobytes, the platform's type name and
  // the local modification time.
  EXPECT_EQ("2KB", file.ColumnText(1));
  EXPECT_EQ("", dir.ColumnText(1));
  SHFILEINFOA info = {};
  SHGetFileInfoA(data.c_str(), 0, &info, sizeof(info), SHGFI_TYPENAME);
  EXPECT_EQ(std::string(info.szTypeName), file.ColumnText(2));
  EXPECT_FALSE(file.ColumnText(2).empty());
  EXPECT_EQ(ModifiedTextOf(data), file.ColumnText(3));
  EXPECT_EQ("", file.ColumnText(4));
  EXPECT_EQ("1KB", SizeText(1));
  EXPECT_EQ("1KB", SizeText(1024));
  EXPECT_EQ("0KB", SizeText(0));

  // With a details provider the columns are the provider's (Wine's folders
  // offer none through CreateViewObject, so the test brings its own).
  struct TDetails : TComObject<IShellDetails> {
    std::vector<UINT> asked;
    STDMETHODIMP GetDetailsOf(PCUITEMID_CHILD, UINT column, SHELLDETAILS* d) override {
      asked.push_back(column);
      d->str.uType = STRRET_CSTR;
      std::snprintf(d->str.cStr, sizeof(d->str.cStr), "column %u", column);
      return S_OK;
    }
    STDMETHODIMP ColumnClick(UINT) override { return S_OK; }
  };
  struct TDetailsOwner : TFolderOwner {
    using TFolderOwner::TFolderOwner;
    TComPtr<IShellDetails> details;
    IShellDetails* ShellDetails() override { return details.Get(); }
  } withDetails(base);
  auto* provider = new TDetails;
  withDetails.details.Reset(provider);
  TPTShListData viaProvider(&withDetails);
  viaProvider.SetRelativePidl(c1.get());
  EXPECT_EQ("column 2", viaProvider.ColumnText(2));
  EXPECT_EQ("column 7", viaProvider.ColumnText(7));
  EXPECT_EQ(file.DisplayName(), viaProvider.ColumnText(0));
  EXPECT_EQ((std::vector<UINT>{2, 7}), provider->asked);
  EXPECT_FALSE(viaProvider.DetailsLoaded);

  // Deleted behind the shell's back by a Unix program.
  EXPECT_TRUE(file.Validate());
  ASSERT_EQ(0, testsupport::RunUnix("/bin/rm", {testsupport::ToUnixPath(data)}));
  EXPECT_FALSE(file.Validate());
  EXPECT_TRUE(dir.Validate());

  // File-name sets and the column widths of a list view.
  testsupport::WriteFileText(Join(base, "b.txt"), "");
  testsupport::WriteFileText(Join(base, "A.TXT"), "");
  TNameSet names;
  CollectFileNames(names, Join(base, "*.txt"));
  EXPECT_EQ((TNameSet{"A.TXT", "B.TXT"}), names);
  EXPECT_TRUE(InNameSet(names, "a.txt"));
  EXPECT_FALSE(InNameSet(names, "sub"));
  std::vector<std::string> masks;
  SplitMasks("*.txt;;*.bin;", masks);
  EXPECT_EQ((std::vector<std::string>{"*.txt", "*.bin"}), masks);
}

TEST(ShellLinks, ReadBackEveryField) {
  const std::string base = Scratch("links");
  const std::string target = Join(base, "target.exe");
  testsupport::WriteFileText(target, "MZ");
  const std::string lnk = Join(base, "full.lnk");
  const WORD hotKey = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
  ASSERT_EQ(S_OK, MakeLink(lnk, target, "-a \"b c\"", "A description", Join(base, "icons.dll"), 3, base,
                           SW_SHOWMAXIMIZED, hotKey));
  TLinkData d;
  d.Reserved = "kept";
  ASSERT_EQ(S_OK, ReadShellLink(lnk, d, true));
  EXPECT_TRUE(SameText(target, d.Path));
  EXPECT_EQ("kept", d.Reserved);
  EXPECT_EQ("-a \"b c\"", d.Arguments);
  EXPECT_EQ("A description", d.Description);
  EXPECT_TRUE(SameText(Join(base, "icons.dll"), d.IconLocation));
  EXPECT_EQ(3, d.IconIndex);
  EXPECT_TRUE(SameText(base, d.WorkingDirectory));
  // The file holds the show command, but Wine 8's link reader answers the
  // default (1) whatever was saved; Windows gives the saved one.
  std::vector<uint8_t> bytes = testsupport::ReadFileBytes(lnk);
  ASSERT_GT(bytes.size(), 0x40u);
  EXPECT_EQ(SW_SHOWMAXIMIZED, bytes[0x3C]);
  EXPECT_TRUE(d.ShowCmd == SW_SHOWMAXIMIZED || d.ShowCmd == SW_SHOWNORMAL) << d.ShowCmd;
  EXPECT_EQ(hotKey, d.HotKey);
  EXPECT_EQ("target.exe", std::string(d.FindData.cFileName));
  ASSERT_NE(nullptr, d.IdList);
  EXPECT_TRUE(SameText(target, PidlToPath(d.IdList)));
  ShellFree(d.IdList);

  TLinkData e;
  e.IdList = reinterpret_cast<LPITEMIDLIST>(1);
  ASSERT_EQ(S_OK, ReadShellLink(lnk, e, false));
  EXPECT_EQ(nullptr, e.IdList);
  EXPECT_EQ("A description", e.Description);
  EXPECT_FALSE(SUCCEEDED(ReadShellLink(Join(base, "none.lnk"), e, false)));
}

}  // namespace

namespace {

TEST(ShellRoutines, ConversionsDataAndWidths) {
  // The three string-return forms.
  STRRET sr = {};
  sr.uType = STRRET_CSTR;
  std::memset(sr.cStr, 'c', sizeof(sr.cStr));  // no terminator in the buffer
  EXPECT_EQ(std::string(sizeof(sr.cStr), 'c'), StrRetToString(nullptr, &sr));
  const char item[] = "\x0A\x00name\0xyz";
  sr.uType = STRRET_OFFSET;
  sr.uOffset = 2;
  EXPECT_EQ("name", StrRetToString(reinterpret_cast<LPCITEMIDLIST>(item), &sr));
  EXPECT_EQ("", StrRetToString(nullptr, &sr));
  sr.uType = STRRET_WSTR;
  const wchar_t wide[] = L"wide text";
  sr.pOleStr = static_cast<LPWSTR>(ShellAlloc(sizeof(wide)));
  std::memcpy(sr.pOleStr, wide, sizeof(wide));
  EXPECT_EQ("wide text", StrRetToString(nullptr, &sr));
  EXPECT_EQ(nullptr, sr.pOleStr);

  // Times: 2021-06-15 10:20:30.500 is day 44362 and its fraction.
  SYSTEMTIME st = {2021, 6, 2, 15, 10, 20, 30, 500};
  const double expected = 44362.0 + (10 * 3600 + 20 * 60 + 30.5) / 86400.0;
  EXPECT_NEAR(expected, SystemTimeToDateTime(st), 1e-9);
  FILETIME utc, local;
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &utc);
  EXPECT_NEAR(expected, FileTimeToDateTime(utc), 1e-9);

  // Failures become exceptions with the platform's text.
  EXPECT_NO_THROW(CheckResult(S_FALSE));
  try {
    CheckResult(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(TrimRight(SysErrorMessage(static_cast<int>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)))), e.Message());
    EXPECT_FALSE(e.Message().empty());
  }

  // The menu shortcuts from their texts.
  LoadShortCutTable();
  EXPECT_EQ(52587u, shell::ShortCutTable()[0].id);
  EXPECT_EQ(shell::scCtrl | 'A', shell::ShortCutTable()[0].shortcut);
  EXPECT_EQ(113, shell::ShortCutTable()[6].shortcut);  // F2

  // Combo data and a drop target by path.
  const std::string base = Scratch("routines");
  testsupport::WriteFileText(Join(base, "f.txt"), "");
  TFolderOwner owner(base);
  TPidl child(owner.Child("f.txt"));
  {
    TPTShComboData combo(&owner, owner.Folder(), owner.FolderPidl(), child.get());
    EXPECT_EQ(owner.Folder(), combo.ParentFolder());
    EXPECT_TRUE(SameText(Join(base, "f.txt"), PidlToPath(combo.AbsolutePidl())));
    EXPECT_EQ(0, ComparePidls(owner.FolderPidl(), combo.ParentPidl()));
  }
  TComPtr<IDropTarget> target;
  EXPECT_EQ(S_OK, PathDropTarget(nullptr, base, target.Put()));
  EXPECT_TRUE(target);
  EXPECT_FALSE(SUCCEEDED(PathDropTarget(nullptr, Join(base, "none"), target.Put())));

  // An item outside the file system is a "System Folder".
  TComPtr<IShellFolder> desktop;
  ASSERT_EQ(S_OK, DesktopFolder(desktop.Put()));
  LPITEMIDLIST drives = nullptr;
  ASSERT_EQ(S_OK, SpecialFolderPidl(nullptr, CSIDL_DRIVES, &drives));
  TPidl drivesHolder(drives);
  struct TDesktopOwner : TPTShListOwner {
    IShellFolder* folder;
    IShellFolder* ShellFolder() override { return folder; }
    LPCITEMIDLIST FolderPidl() override { return nullptr; }
    IMalloc* ShellAllocator() override { return ShellMalloc(); }
  } deskOwner;
  deskOwner.folder = desktop.Get();
  TPTShListData computer(&deskOwner);
  computer.SetRelativePidl(drives);
  EXPECT_EQ("System Folder", computer.ColumnText(2));
  EXPECT_EQ("", computer.ColumnText(1));
  EXPECT_TRUE(computer.IsFolder());

  // The error mode is restored after a search.
  UINT before = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  TNameSet names;
  CollectFileNames(names, "Q:\\*.*");
  EXPECT_EQ(UINT(SEM_NOOPENFILEERRORBOX), SetErrorMode(before));

  // Column widths of a real list view.
  HWND lv = CreateWindowA(WC_LISTVIEWA, "", WS_POPUP | LVS_REPORT, 0, 0, 300, 100, nullptr, nullptr,
                          GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, lv);
  const int widths[] = {120, 60, 90};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA col = {};
    col.mask = LVCF_WIDTH | LVCF_TEXT;
    col.cx = widths[i];
    col.pszText = const_cast<char*>("c");
    ListView_InsertColumn(lv, i, &col);
  }
  TMemoryStream stream;
  WriteColumnWidths(&stream, lv);
  DestroyWindow(lv);
  ASSERT_EQ(16, stream.Size());
  const int32_t* v = static_cast<const int32_t*>(stream.Memory());
  EXPECT_EQ(3, v[0]);
  EXPECT_EQ(120, v[1]);
  EXPECT_EQ(60, v[2]);
  EXPECT_EQ(90, v[3]);
}

// Counts what a drop target reads.
class TCountingData : public TPTDataObject {
 public:
  std::vector<CLIPFORMAT> asked;
  STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override {
    asked.push_back(f->cfFormat);
    return TPTDataObject::GetData(f, m);
  }
};

TEST(ShellRoutines, SendToPlaysAWholeDrop) {
  const std::string sendTo = SendToFolder();
  ASSERT_FALSE(sendTo.empty());
  const std::string into = Join(sendTo, "Collected");
  testsupport::MakeDirs(into);
  const std::string base = Scratch("sendto");
  const std::string file = Join(base, "sent.txt");
  testsupport::WriteFileText(file, "sent");
  TFolderOwner owner(base);
  TPidl child(owner.Child("sent.txt"));
  auto* raw = new TCountingData;
  TComPtr<IDataObject> data(raw);
  ASSERT_EQ(S_OK, raw->SetShellBlocks(owner.FolderPidl(), {child.get()}, {file}, file));
  // Wine hands out the send-to folder's own drop target for its items, and
  // its drop only reads the items (the copy is not built in Wine 8): the
  // whole drop is seen by what the target reads of the data.
  EXPECT_EQ(S_OK, SendToTarget("Collected", data.Get()));
  EXPECT_NE(raw->asked.end(), std::find(raw->asked.begin(), raw->asked.end(), CF_IDLIST));
  EXPECT_EQ(1, raw->RefCount());
  raw->asked.clear();
  EXPECT_FALSE(SUCCEEDED(SendToTarget("Nowhere", data.Get())));
  EXPECT_TRUE(raw->asked.empty());
  testsupport::RemoveTree(into);
}

}  // namespace
