#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "dbtables.h"

namespace {

std::string TempPath(const std::string& leaf) {
  return std::string(::testing::TempDir()) + "/" + std::to_string(::getpid()) + "_" + leaf;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Python(const std::string& script) {
  std::string py = TempPath("script.py"), out = TempPath("out.txt");
  std::ofstream(py) << script;
  EXPECT_EQ(std::system(("/usr/bin/python3 " + py + " > " + out + " 2>&1").c_str()), 0) << Slurp(out);
  return Slurp(out);
}

void DefineAddressBook(TTable& t) {
  t.FieldDefs().Clear();
  t.FieldDefs().Add("REALNAME", ftString, 150, true);
  t.FieldDefs().Add("EMAIL", ftString, 150, true);
  t.FieldDefs().Add("ID", ftInteger, 0, true);
}

void AppendPerson(TTable& t, const std::string& name, const std::string& mail, int id) {
  t.Append();
  t.FieldByName("REALNAME")->SetAsString(name);
  t.FieldByName("EMAIL")->SetAsString(mail);
  t.FieldByName("ID")->SetAsInteger(id);
  t.Post();
}

}  // namespace

TEST(DbfTable, RoundTripWithDbfread) {
  std::string path = TempPath("book.dbf");
  std::remove(path.c_str());
  TTable t(nullptr);
  t.SetTableName(path);
  DefineAddressBook(t);
  t.CreateTable();
  t.Open();
  EXPECT_TRUE(t.IsEmpty());
  AppendPerson(t, "Ann Lee", "ann@example.org", 1);
  AppendPerson(t, "J\xF6rg M\xFCller", "jm@example.org", 2);  // cp1252
  AppendPerson(t, "Gone", "gone@example.org", 3);
  t.Delete();
  AppendPerson(t, "Bo", "bo@example.org", 4);

  // A required field left empty is refused and the record stays in insert.
  t.Append();
  t.FieldByName("REALNAME")->SetAsString("No mail");
  EXPECT_THROW(t.Post(), EDatabaseError);
  EXPECT_EQ(t.State(), dsInsert);
  t.Cancel();

  int ids = 0, count = 0;
  for (t.First(); !t.Eof(); t.Next()) ids += t.FieldByName("ID")->AsInteger(), ++count;
  EXPECT_EQ(count, 3);
  EXPECT_EQ(ids, 7);
  t.Close();

  std::string out = Python(
      "from dbfread import DBF\n"
      "t = DBF('" + path + "')\n"
      "print([(f.name, f.type, f.length) for f in t.fields])\n"
      "print([(r['REALNAME'], r['EMAIL'], r['ID']) for r in t])\n"
      "print([r['REALNAME'] for r in t.deleted])\n"
      "print(t.encoding)\n");
  EXPECT_EQ(out,
            "[('REALNAME', 'C', 150), ('EMAIL', 'C', 150), ('ID', 'N', 11)]\n"
            "[('Ann Lee', 'ann@example.org', 1), ('J\xC3\xB6rg M\xC3\xBCller', 'jm@example.org', 2), "
            "('Bo', 'bo@example.org', 4)]\n"
            "['Gone']\n"
            "cp1252\n");
}

TEST(DbfTable, ForeignFileOpensAndKeepsUnknownFieldBytes) {
  std::string path = TempPath("foreign.dbf");
  // No end byte, language byte 0, a logical field the program does not know.
  Python(
      "import struct\n"
      "fields = [(b'REALNAME', b'C', 20), (b'OK', b'L', 1), (b'ID', b'N', 11)]\n"
      "reclen = 1 + sum(f[2] for f in fields)\n"
      "hdr = struct.pack('<B3BIHH20x', 3, 99, 1, 2, 2, 32 + 32 * len(fields) + 1, reclen)\n"
      "for n, t, l in fields: hdr += struct.pack('<11sc4xBB14x', n, t, l, 0)\n"
      "hdr += b'\\r'\n"
      "recs = b' ' + b'Ann'.ljust(20) + b'T' + b'5'.rjust(11) + b' ' + b'Bo'.ljust(20) + b'F' + b'6'.rjust(11)\n"
      "open('" + path + "', 'wb').write(hdr + recs)\n");
  TTable t(nullptr);
  t.SetTableName(path);
  t.Open();
  EXPECT_EQ(t.FieldByName("REALNAME")->AsString(), "Ann");
  EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 5);
  t.Next();
  t.Edit();
  t.FieldByName("REALNAME")->SetAsString("Bob");
  t.Post();
  t.Close();
  std::string out = Python("from dbfread import DBF\nprint([(r['REALNAME'], r['OK'], r['ID']) for r in DBF('" +
                           path + "')])\n");
  EXPECT_EQ(out, "[('Ann', True, 5), ('Bob', False, 6)]\n");
}

TEST(DbfTable, DamagedHeadersAreRefusedAndTheFileIsKept) {
  std::string good = TempPath("good.dbf");
  {
    TTable t(nullptr);
    t.SetTableName(good);
    DefineAddressBook(t);
    t.CreateTable();
    t.Open();
    AppendPerson(t, "Ann", "a@b", 1);
  }
  std::string bytes = Slurp(good);
  struct Damage {
    const char* what;
    size_t at;
    std::string with;
    size_t cut;
  } cases[] = {
      {"truncated header", 0, "", 20},
      {"record count", 4, std::string("\x05\0\0\0", 4), 0},
      {"header length", 8, std::string("\x41\0", 2), 0},
      {"record length", 10, std::string("\x20\0", 2), 0},
      {"field type", 32 + 11, "X", 0},
      {"field length", 32 + 16, std::string("\0", 1), 0},
      {"field name", 32, std::string("\0", 1), 0},
      {"terminator", 32 + 3 * 32, "A", 0},
      {"version", 0, "\x30", 0},
  };
  for (const Damage& d : cases) {
    std::string damaged = d.cut ? bytes.substr(0, d.cut) : bytes;
    if (!d.with.empty()) damaged.replace(d.at, d.with.size(), d.with);
    std::string path = TempPath("damaged.dbf");
    std::ofstream(path, std::ios::binary) << damaged;
    TTable t(nullptr);
    t.SetTableName(path);
    try {
      t.Open();
      ADD_FAILURE() << d.what << " was accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
    }
    EXPECT_EQ(Slurp(path), damaged) << d.what;
  }
}

TEST(DbfTable, FilterEventHidesRecordsFromWalksAndBookmarks) {
  std::string path = TempPath("filter.dbf");
  TTable t(nullptr);
  t.SetTableName(path);
  DefineAddressBook(t);
  t.CreateTable();
  t.Open();
  AppendPerson(t, "Ann", "ann@x", 1);
  AppendPerson(t, "Bob", "bob@x", 2);
  AppendPerson(t, "Annette", "net@x", 3);
  t.OnFilterRecord = [](TDataSet* ds, bool& accept) {
    accept = ds->FieldByName("REALNAME")->AsString().compare(0, 3, "Ann") == 0;
  };
  t.SetFiltered(true);
  EXPECT_EQ(t.VisibleRecords(), (std::vector<TBookmark>{0, 2}));
  EXPECT_FALSE(t.BookmarkValid(1));
  t.SetBookmark(2);
  EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 3);
  EXPECT_THROW(t.SetBookmark(1), EDatabaseError);
  // A grid reads other rows' cells, even from inside the filter event,
  // without the cursor or the record being filtered moving.
  std::string seen;
  t.OnFilterRecord = [&](TDataSet* ds, bool& accept) {
    seen += t.FieldTextAt(1, ds->FieldByName("EMAIL")) + "/";
    accept = ds->FieldByName("REALNAME")->AsString().compare(0, 3, "Ann") == 0;
  };
  t.SetBookmark(2);
  EXPECT_EQ(t.FieldTextAt(0, t.FieldByName("REALNAME")), "Ann");
  EXPECT_EQ(t.FieldTextAt(9, t.FieldByName("REALNAME")), "");
  EXPECT_EQ(t.FieldByName("REALNAME")->AsString(), "Annette");
  EXPECT_EQ(seen, "bob@x/");
  t.OnFilterRecord = nullptr;
  t.SetFiltered(false);
  EXPECT_EQ(t.RecordCount(), 3);
}
