// The parser builds documents from pages: section kinds and list levels,
// the content of scripts and form controls, and pages that are built to
// break a recursive-descent parser (deep nesting, stray end tags, input
// that ends inside a construct, errors half-way).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "htmlcanvas.h"
#include "htmlforms.h"
#include "htmltables.h"
#include "htmlmap.h"
#include "htmlparse.h"
#include "htmlscan.h"
#include "htmlsections.h"
#include "htmltext.h"
#include "test_support.h"

using namespace htmlsubs;
using testsupport::ScratchDir;
using testsupport::WriteFileText;

namespace {

class ParserTest : public ::testing::Test {
 protected:
  ParserTest() { names.SetSorted(true); }
  ~ParserTest() override { readhtml::OnScript = nullptr; }

  // The parser appends to a document; the viewer clears it before a load.
  void Parse(const std::string& html) {
    doc.Clear();
    readhtml::HtmlParseBuffer(&doc, &names, html.data(), static_cast<int>(html.size()));
  }

  int Layout(int width) {
    int scrollWidth = 0, curs = 0;
    return doc.Arrange(ScreenMeasure(), 0, width, scrollWidth, curs);
  }

  // The document's top-level sections as "kind[level](text)", empty text
  // sections left out: S text, P pre, U/O/D list items, p paragraph space,
  // h heading space, r rule, B page break.
  std::string Shape() const {
    std::string out;
    for (int i = 0; i < doc.Count(); ++i) {
      TSectionBase* s = doc.Section(i);
      std::string item;
      if (auto* o = dynamic_cast<TOListItem*>(s)) item = "O" + std::to_string(o->NestLevel) + "#" + std::to_string(o->ItemNumber);
      else if (auto* d = dynamic_cast<TDListItem*>(s)) item = "D" + std::to_string(d->NestLevel);
      else if (auto* u = dynamic_cast<TUListItem*>(s)) item = "U" + std::to_string(u->NestLevel);
      else if (dynamic_cast<TPreFormated*>(s)) item = "P";
      else if (auto* t = dynamic_cast<TSection*>(s)) {
        if (t->Text.empty()) continue;
        item = "S" + std::to_string(t->NestLevel);
      } else if (dynamic_cast<TParagraphSpace*>(s)) item = "p";
      else if (dynamic_cast<THeadingSpace*>(s)) item = "h";
      else if (dynamic_cast<THorzLine*>(s)) item = "r";
      else if (dynamic_cast<TPage*>(s)) item = "B";
      else item = "?";
      if (auto* t = dynamic_cast<TSection*>(s)) item += "(" + t->Text + ")";
      out += (out.empty() ? "" : " ") + item;
    }
    return out;
  }

  // The text section holding exactly text.
  TSection* Find(const std::string& text) const {
    for (int i = 0; i < doc.Count(); ++i)
      if (auto* t = dynamic_cast<TSection*>(doc.Section(i)))
        if (t->Text == text) return t;
    return nullptr;
  }

  // The text of every section, tables' cells and captions included.
  static void CellText(const TCell& cell, std::string& out) {
    for (int i = 0; i < cell.Count(); ++i) {
      if (auto* t = dynamic_cast<TSection*>(cell.Section(i))) out += t->Text + "|";
      if (auto* table = dynamic_cast<ThtmlTable*>(cell.Section(i))) {
        CellText(table->Caption->Cell, out);
        for (int r = 0; r < table->Rows.Count(); ++r)
          for (int c = 0; c < table->Row(r)->Count(); ++c) CellText(table->Row(r)->CellObj(c)->Cell, out);
      }
    }
  }
  std::string AllText() const {
    std::string out;
    CellText(doc, out);
    return out;
  }

  TSectionList doc;
  TStringList names;
};

TEST_F(ParserTest, ListsTakeTheirLevelsAndEndAtAnyListEndTag) {
  // DT in a top-level DL sits at level 0, DD at 1; the nested OL ends at the
  // UL end tag, and the BLOCKQUOTE end tag ends the nested UL.
  Parse("<dl><dt>term<dd>def</dl>"
        "<ul><li>a<ol start=-4 type=i><li>b<li>c</ul><li>d</ul>"
        "<ol start=0><li>zero<li>one</ol>"
        "<ul plain><li>e<ul><li>f</blockquote><li>g</ul>after");
  EXPECT_EQ(Shape(),
            "D0(term) D1(def) U1(a) O2#1(b) O2#2(c) U1(d) O1#0(zero) O1#1(one) U1(e) U2(f) U1(g) S0(after)");
  EXPECT_TRUE(dynamic_cast<TUListItem*>(Find("e"))->HideBullet);
  EXPECT_FALSE(dynamic_cast<TUListItem*>(Find("f"))->HideBullet);
  EXPECT_EQ(dynamic_cast<TOListItem*>(Find("b"))->NumberStyle, 'i');
}

TEST_F(ParserTest, BlocksHeadingsAndParagraphs) {
  Parse("<title>The  Title</title><h2 align=center>Head</h2>one<p><p> <p align=right>two<hr>"
        "<center>mid<div align=left>l</div>c</center>x<br clear=left>y<page><pre>a  b\r\nc<br>d</pre>");
  EXPECT_EQ(readhtml::Title, "The Title");
  EXPECT_EQ(Shape(), "h S0(Head) h S0(one) p S0(two) r S0(mid) S0(l) S0(c) S0(x) S0(y) B P(a  b) P(c) P(d)");
  // Justification: centred heading, right-aligned paragraph, CENTER and the
  // DIV inside it, and the section after CENTER back to left.
  EXPECT_EQ(Find("Head")->Alignment, 2);
  EXPECT_EQ(Find("two")->Alignment, 3);
  EXPECT_EQ(Find("mid")->Alignment, 2);
  EXPECT_EQ(Find("l")->Alignment, 1);
  EXPECT_EQ(Find("c")->Alignment, 2);
  EXPECT_EQ(Find("x")->Alignment, 1);
  EXPECT_EQ(Find("y")->ClearSide, 1);
  EXPECT_GT(Layout(300), 0);
}

TEST_F(ParserTest, FontsStylesAndLinks) {
  Parse("<body text=red link=#00FF00 bgcolor=navy>"
        "n<b>b<i>bi</b>i</i><font size=+2 color=blue face='Arial, Helvetica'>f</font>"
        "<tt>t</tt><a href=x.htm target=main name=here>l</a><sup>s</sup>e");
  EXPECT_EQ(doc.DefaultColor, 0x0000FFu);
  EXPECT_EQ(doc.LinkColor, 0x00FF00u);
  EXPECT_EQ(doc.Background, 0x800000u);
  ASSERT_EQ(doc.Count(), 1);
  auto* s = dynamic_cast<TSection*>(doc.Section(0));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Text, "nbbiiftlse");
  int overhang;
  auto font = [&](int pos) { return s->Runs.FontAt(pos, overhang); };
  auto run = [&](int pos) {
    int index;
    return s->Runs.RunAt(pos, index);
  };
  EXPECT_EQ(font(0)->Style(), 0u);
  EXPECT_EQ(font(0)->Color(), 0x0000FFu | PaletteRelative);
  EXPECT_EQ(font(1)->Style(), unsigned(fsBold));
  EXPECT_EQ(font(2)->Style(), unsigned(fsBold | fsItalic));
  EXPECT_EQ(font(4)->Style(), unsigned(fsItalic));
  EXPECT_EQ(font(5)->Name(), "Arial");
  EXPECT_EQ(font(5)->ScaleSize, 18);
  EXPECT_EQ(font(5)->Color(), 0xFF0000u | PaletteRelative);
  EXPECT_TRUE(font(6)->PreFace);
  EXPECT_EQ(font(6)->ScaleSize, 10);
  EXPECT_EQ(run(7)->Link.URL, "x.htm");
  EXPECT_EQ(run(7)->Link.Target, "main");
  EXPECT_EQ(font(7)->Style(), unsigned(fsUnderline));
  EXPECT_EQ(font(7)->Color(), 0x00FF00u | PaletteRelative);
  EXPECT_EQ(run(8)->SScript, 2);
  EXPECT_EQ(run(9)->SScript, 0);
  EXPECT_TRUE(run(9)->Link.URL.empty());
  EXPECT_EQ(font(9)->Style(), 0u);
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names[0], "HERE");
  EXPECT_EQ(names.Objects(0), s);
}

TEST_F(ParserTest, BodyAndBaseFontOnlyBeforeAnyContent) {
  Parse("<base href='c:\\help\\' target=top>text<body bgcolor=red><basefont size=7>more<a name=low>x</a>");
  EXPECT_EQ(readhtml::Base, "c:\\help\\");
  EXPECT_EQ(readhtml::BaseTarget, "top");
  EXPECT_EQ(doc.Background, TSectionList().Background);
  auto* s = dynamic_cast<TSection*>(doc.Section(0));
  int overhang;
  EXPECT_EQ(s->Runs.FontAt(s->Text.size() - 1, overhang)->ScaleSize, 12);
  EXPECT_EQ(names[0], "LOW");

  // A BASEFONT at the very start sets the base for relative FONT sizes.
  Parse("<basefont size=1>a<font size=+1>b</font><font size=+2147483647>c</font><font size=-2147483647>d</font>");
  s = dynamic_cast<TSection*>(doc.Section(0));
  EXPECT_EQ(s->Runs.FontAt(0, overhang)->ScaleSize, 8);
  EXPECT_EQ(s->Runs.FontAt(1, overhang)->ScaleSize, 10);
  EXPECT_EQ(s->Runs.FontAt(2, overhang)->ScaleSize, 36);
  EXPECT_EQ(s->Runs.FontAt(3, overhang)->ScaleSize, 8);
}

TEST_F(ParserTest, AnAnchorNamedBeforeBodyLeadsIntoTheDocument) {
  // The empty section the anchor stood in gives way to BODY's own: the name
  // must follow it, not point at freed memory.
  Parse("<a name=top></a><body bgcolor=white text=blue><h1>Title</h1><p>first<a name=end>x</a>");
  EXPECT_EQ(doc.Background, 0xFFFFFFu);
  ASSERT_EQ(names.Count(), 2);
  EXPECT_EQ(names[1], "TOP");
  auto* top = static_cast<TSectionBase*>(names.Objects(1));
  bool inDocument = false;
  for (int i = 0; i < doc.Count(); ++i) inDocument |= doc.Section(i) == top;
  EXPECT_TRUE(inDocument);
  Layout(400);
  EXPECT_EQ(top->LastTop, 0);
  EXPECT_GT(static_cast<TSectionBase*>(names.Objects(0))->LastTop, 0);
  // The text after BODY takes BODY's colour.
  auto* title = Find("Title");
  ASSERT_NE(title, nullptr);
  int overhang;
  EXPECT_EQ(title->Runs.FontAt(0, overhang)->Color(), 0xFF0000u | PaletteRelative);
}

TEST_F(ParserTest, SubAndSuperscriptEndWithTheirSection) {
  // Every tag that starts a section starts it in normal script, even with
  // the SUP or SUB still open.
  const char* breaks[] = {"<br>", "<p>", "<h2>", "<hr>", "<div>", "<table><tr><td>", "<ul><li>", "<pre>"};
  for (const char* br : breaks) {
    Parse(std::string("x<sup>2") + br + "after</sup> more");
    int index;
    std::string scripts;
    std::function<void(const TCell&)> walk = [&](const TCell& cell) {
      for (int i = 0; i < cell.Count(); ++i) {
        if (auto* t = dynamic_cast<TSection*>(cell.Section(i))) {
          const size_t at = t->Text.find("after");
          if (at != std::string::npos) scripts += std::to_string(t->Runs.RunAt(static_cast<int>(at), index)->SScript);
        }
        if (auto* table = dynamic_cast<ThtmlTable*>(cell.Section(i)))
          for (int c = 0; c < table->Row(0)->Count(); ++c) walk(table->Row(0)->CellObj(c)->Cell);
      }
    };
    walk(doc);
    EXPECT_EQ(scripts, "0") << br;
  }
  // Within one section the script still holds up to its end tag.
  Parse("x<sup>2 <b>bold</b></sup> after <sub>i</sub>");
  auto* s = dynamic_cast<TSection*>(doc.Section(0));
  ASSERT_NE(s, nullptr);
  int index;
  EXPECT_EQ(s->Runs.RunAt(static_cast<int>(s->Text.find("bold")), index)->SScript, 2);
  EXPECT_EQ(s->Runs.RunAt(static_cast<int>(s->Text.find("after")), index)->SScript, 0);
  EXPECT_EQ(s->Runs.RunAt(static_cast<int>(s->Text.find("i")), index)->SScript, 1);
}

TEST_F(ParserTest, PlainTextKeepsLongLinesAndCommentsAsText) {
  TStringList lines;
  lines.Add(std::string(450, 'x'));
  lines.Add("<!-- not a comment in a text file");
  lines.Add("\ttab");
  readhtml::HtmlParseTextStrings(&doc, &names, &lines);
  std::vector<std::string> pre;
  for (int i = 0; i < doc.Count(); ++i)
    if (auto* p = dynamic_cast<TPreFormated*>(doc.Section(i))) pre.push_back(p->Text);
  ASSERT_EQ(pre.size(), 4u);
  EXPECT_EQ(pre[0], std::string(450, 'x'));
  EXPECT_EQ(pre[1], "<!-- not a comment in a text file");
  EXPECT_EQ(pre[2], " tab");
  EXPECT_GT(Layout(200), 0);
}

TEST_F(ParserTest, ScriptsAndControlsReadTheirRawContent) {
  std::string script;
  for (int i = 0; script.size() < 100000; ++i) script += "if (a < b && c > d) { x[" + std::to_string(i) + "] = '</scrip'; }\r\n";
  std::string lang, got;
  int calls = 0;
  readhtml::OnScript = [&](const std::string& l, const std::string& s) {
    lang = l;
    got = s;
    ++calls;
  };
  Parse("a<script language=JavaScript>" + script + "</SCRIPT>b<!-- c -->d");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(lang, "JavaScript");
  EXPECT_EQ(got, script);
  EXPECT_EQ(AllText(), "abd|");

  // Without a handler the script is skipped the same way.
  readhtml::OnScript = nullptr;
  Parse("a<script>if (x<y) document.write('<p>');</script>b");
  EXPECT_EQ(AllText(), "ab|");

  // A script, a text area and a select cut off by the end of input end the
  // parse with what was read.
  for (const char* page : {"x<script>var a = 1;", "x<textarea>line one\r\nline", "x<select><option selected>one"}) {
    Parse(page);
    EXPECT_EQ(AllText().substr(0, 1), "x") << page;
  }
}

TEST_F(ParserTest, TablesTakeRowsCellsAndCaptions) {
  Parse("<b>x</b><table border=1 width=80%> <caption align=bottom>cap</caption>"
        "<tr align=right><th>head<td valign=top>data<tr><td colspan=2><p align=center>wide</td></table>after");
  ThtmlTable* table = nullptr;
  for (int i = 0; i < doc.Count() && !table; ++i) table = dynamic_cast<ThtmlTable*>(doc.Section(i));
  ASSERT_NE(table, nullptr);
  EXPECT_TRUE(table->Border);
  EXPECT_FALSE(table->CaptionTop);
  ASSERT_EQ(table->Rows.Count(), 2);
  ASSERT_EQ(table->Row(0)->Count(), 2);
  ASSERT_EQ(table->Row(1)->Count(), 1);
  auto text = [](TCell& c) {
    std::string out;
    for (int i = 0; i < c.Count(); ++i)
      if (auto* t = dynamic_cast<TSection*>(c.Section(i))) out += t->Text;
    return out;
  };
  EXPECT_EQ(text(table->Caption->Cell), "cap");
  TCellObj* head = table->Row(0)->CellObj(0);
  EXPECT_EQ(text(head->Cell), "head");
  auto* headText = dynamic_cast<TSection*>(head->Cell.Section(0));
  EXPECT_EQ(headText->Alignment, 3);
  int overhang;
  EXPECT_EQ(headText->Runs.FontAt(0, overhang)->Style(), unsigned(fsBold));
  EXPECT_EQ(table->Row(0)->CellObj(1)->VAlign, 0);
  EXPECT_EQ(table->Row(1)->CellObj(0)->ColSpan, 2);
  EXPECT_EQ(dynamic_cast<TSection*>(table->Row(1)->CellObj(0)->Cell.Section(0))->Alignment, 2);
  // The style in force before the table holds after it.
  TSection* after = Find("after");
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->Runs.FontAt(0, overhang)->Style(), 0u);
  EXPECT_GT(Layout(400), 0);

  // Thirty columns lay out; thirty-one raise from layout.
  auto row = [](int n) {
    std::string r = "<table><tr>";
    for (int i = 0; i < n; ++i) r += "<td>c";
    return r + "</table>";
  };
  Parse(row(30));
  Layout(600);
  Parse(row(31));
  try {
    Layout(600);
    ADD_FAILURE() << "no error";
  } catch (const EProcessError& e) {
    EXPECT_EQ(e.Message(), "Table has too many Columns");
  }
}

TEST_F(ParserTest, FormsAndTheirControls) {
  Parse("<form action=go method=post><input name=q value=v><select name=s><option value=1>One"
        "<option selected>  Two  </select><textarea name=t>line1\r\n&lt;b&gt;</textarea></form><input name=out>");
  ASSERT_EQ(doc.Forms.Count(), 2);
  auto* form = static_cast<ThtmlForm*>(doc.Forms.Items(0));
  EXPECT_EQ(form->Action, "go");
  EXPECT_EQ(form->Method, "post");
  ASSERT_EQ(form->ControlList.Count(), 3);
  auto* combo = dynamic_cast<TComboFormControlObj*>(form->Control(1));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->TheOptions.Count(), 2);
  EXPECT_EQ(combo->TheOptions[1], "Two");
  EXPECT_EQ(combo->Option(0)->Value, "1");
  EXPECT_TRUE(combo->Option(1)->Selected);
  auto* area = dynamic_cast<TTextAreaFormControlObj*>(form->Control(2));
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(area->TheText.Count(), 2);
  EXPECT_EQ(area->TheText[0], "line1");
  EXPECT_EQ(area->TheText[1], "&lt;b&gt;");
  // Option texts and values are cut to 80 characters.
  const std::string longText(120, 't'), longValue(120, 'v');
  Parse("<select><option value=" + longValue + ">" + longText + "</option></select>");
  ASSERT_EQ(doc.Forms.Count(), 1);
  auto* cut = dynamic_cast<TComboFormControlObj*>(static_cast<ThtmlForm*>(doc.Forms.Items(0))->Control(0));
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->TheOptions[0], std::string(80, 't'));
  EXPECT_EQ(cut->Option(0)->Value, std::string(80, 'v'));
  Parse("<form action=go method=post><input name=q value=v><select name=s><option value=1>One"
        "<option selected>  Two  </select><textarea name=t>line1\r\n&lt;b&gt;</textarea></form><input name=out>");
  form = static_cast<ThtmlForm*>(doc.Forms.Items(0));
  // The INPUT after the FORM end joins a form of its own.
  EXPECT_EQ(static_cast<ThtmlForm*>(doc.Forms.Items(1))->ControlList.Count(), 1);
  EXPECT_GT(Layout(400), 0);
}

TEST_F(ParserTest, AFormLeftOpenDoesNotCatchTheNextDocumentsControls) {
  // The first page never closes its form; clearing the document frees it.
  Parse("<form action=first><input name=a>");
  ASSERT_EQ(doc.Forms.Count(), 1);
  doc.Clear();
  Parse("<input name=b>");
  ASSERT_EQ(doc.Forms.Count(), 1);
  auto* form = static_cast<ThtmlForm*>(doc.Forms.Items(0));
  EXPECT_EQ(form->Action, "");
  EXPECT_EQ(form->ControlList.Count(), 1);
  // Nor does one document's open form take another document's controls.
  TSectionList other;
  Parse("<form action=mine><input name=c>");
  const std::string page = "<input name=d>";
  readhtml::HtmlParseBuffer(&other, nullptr, page.data(), static_cast<int>(page.size()));
  EXPECT_EQ(static_cast<ThtmlForm*>(doc.Forms.Items(0))->ControlList.Count(), 1);
  ASSERT_EQ(other.Forms.Count(), 1);
  EXPECT_EQ(static_cast<ThtmlForm*>(other.Forms.Items(0))->ControlList.Count(), 1);
}

TEST_F(ParserTest, MapsJoinTheDocumentOnlyWhenClosed) {
  Parse("<map name=nav><area shape=rect coords='0,0,10,10' href=a.htm target=t>"
        "<area shape=circle coords='20,20,5' href=b.htm><area shape=poly coords='1,1,2'></map>"
        "<img src=x.gif usemap=#nav><map name=open><area coords='0,0,1,1' href=c.htm>");
  ASSERT_EQ(doc.ImageMaps.Count(), 1);
  auto* map = static_cast<htmlun2::TMapItem*>(doc.ImageMaps.Items(0));
  EXPECT_EQ(map->MapName, "NAV");
  ASSERT_EQ(map->Areas.Count(), 2);
  EXPECT_EQ(map->Areas[0], "a.htm");
  EXPECT_EQ(map->AreaTargets[0], "t");
  htmlun2::TUrlTarget* link = nullptr;
  ASSERT_TRUE(map->GetURL(20, 22, link));
  EXPECT_EQ(link->URL, "b.htm");
  delete link;
}

TEST_F(ParserTest, TheFontStackHoldsAgainstDeepFontNesting) {
  std::string page;
  for (int i = 0; i < 30; ++i) page += "<font size=+1><h1><tt><big>";
  page += "deep";
  for (int i = 0; i < 40; ++i) page += "</big></tt></h1></font>";
  page += "end";
  Parse(page);
  EXPECT_NE(AllText().find("deep"), std::string::npos);
  EXPECT_NE(AllText().find("end"), std::string::npos);
  Layout(400);

  // A link opened with the stack full takes no font of its own and leaves
  // the font in force as it was: the text after it is not underlined.
  page.clear();
  for (int i = 0; i < 30; ++i) page += "<font color=red>";
  page += "<a href=x.htm>link</a>after<pre>p</pre>tail";
  Parse(page);
  TSection* s = Find("linkafter");
  ASSERT_NE(s, nullptr);
  int overhang, index;
  EXPECT_EQ(s->Runs.RunAt(0, index)->Link.URL, "x.htm");
  EXPECT_EQ(s->Runs.FontAt(4, overhang)->Style(), 0u);
  EXPECT_TRUE(s->Runs.RunAt(4, index)->Link.URL.empty());
  TSection* tail = Find("tail");
  ASSERT_NE(tail, nullptr);
  EXPECT_FALSE(tail->Runs.FontAt(0, overhang)->PreFace);
}

TEST_F(ParserTest, DeepNestingLoadsAndLaysOutWithoutRecursingPastTheLimits) {
  struct Deep {
    const char* open;
    const char* close;
  };
  const Deep kinds[] = {{"<div>", "</div>"}, {"<ul><li>", "</ul>"}, {"<blockquote>", "</blockquote>"},
                        {"<center>", "</center>"}, {"<table><tr><td>", "</td></tr></table>"}, {"<dl><dd>", "</dl>"}};
  for (const Deep& d : kinds) {
    std::string page;
    const int depth = 100000;
    page.reserve(depth * 30);
    for (int i = 0; i < depth; ++i) page += d.open;
    page += "core";
    for (int i = 0; i < depth; ++i) page += d.close;
    page += "tail";
    auto start = std::chrono::steady_clock::now();
    Parse(page);
    EXPECT_NE(AllText().find("core"), std::string::npos) << d.open;
    EXPECT_NE(AllText().find("tail"), std::string::npos) << d.open;
    Layout(600);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(secs, 20.0) << d.open;
  }
}

// How deep the tables of a cell nest.
int TableDepth(const TCell& cell) {
  int depth = 0;
  for (int i = 0; i < cell.Count(); ++i)
    if (auto* t = dynamic_cast<ThtmlTable*>(cell.Section(i)))
      for (int r = 0; r < t->Rows.Count(); ++r)
        for (int c = 0; c < t->Row(r)->Count(); ++c)
          depth = std::max(depth, 1 + TableDepth(t->Row(r)->CellObj(c)->Cell));
  return depth;
}

TEST_F(ParserTest, TablesNestAsDeepAsOtherConstructsAndLayOutInLinearTime) {
  // A page of paragraphs, lists and a grid inside n nested tables: layout
  // grows with n, not 2^n, so tables need no limit of their own.
  std::string content;
  for (int i = 0; i < 40; ++i)
    content += "<p>Paragraph " + std::to_string(i) + " with <b>some</b> words that wrap in a narrow cell.<ul><li>item</ul>"
               "<table border=1><tr><td>a<td align=right>b</tr></table>";
  auto nested = [&](int n) {
    std::string page;
    for (int i = 0; i < n; ++i) page += "<table cellpadding=2><tr><td valign=middle>";
    page += content;
    for (int i = 0; i < n; ++i) page += "</td></tr></table>";
    return page;
  };
  auto layoutTime = [&](int n) {
    Parse(nested(n));
    EXPECT_EQ(TableDepth(doc), n + 1);
    auto start = std::chrono::steady_clock::now();
    Layout(900);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const double shallow = layoutTime(4);
  const double deep = layoutTime(40);
  // Ten times the nesting: about ten times the moving, once the measuring.
  EXPECT_LT(deep, 10 * shallow + 0.5) << shallow << " s for 4 tables";
  // Beyond the common limit the tags are read as out of place.
  Parse(nested(200));
  EXPECT_LE(TableDepth(doc), readhtml::kMaxNestLevel + 1);
  EXPECT_NE(AllText().find("Paragraph 39"), std::string::npos);
  Layout(900);
}

TEST_F(ParserTest, StrayTagsInsideCellsEnd) {
  // Tokens a table's loop has no case for come back to it from the cell's
  // body handler; each must be read past, not handed round forever.
  Parse("<table><tr><td>a</caption>b</body>c<caption>cap</caption></caption><td>d</table>e"
        "<table></td></th></tr><tr>f</html>");
  EXPECT_NE(AllText().find("cap"), std::string::npos);
  EXPECT_NE(AllText().find("e"), std::string::npos);
  EXPECT_NE(AllText().find("f"), std::string::npos);
}

TEST_F(ParserTest, AFailedParseLeavesAnEmptyDocumentAndTheNextOneWorks) {
  Parse("<a name=top>x</a><ul><li>one<table><tr><td><b>cell");
  const std::string good = AllText();
  EXPECT_EQ(names.Count(), 1);
  EXPECT_THROW(Parse("<h1>big<ul><li><font size=7><a href=x name=n>item</a> <!-- open comment"), readhtml::EParseError);
  EXPECT_EQ(doc.Count(), 0);
  EXPECT_EQ(names.Count(), 0);
  EXPECT_EQ(readhtml::Attributes, nullptr);
  EXPECT_EQ(readhtml::FontStackDepth, 0);
  Parse("<a name=top>x</a><ul><li>one<table><tr><td><b>cell");
  EXPECT_EQ(AllText(), good);

  // A file that cannot be opened raises from the file entry, also leaving
  // nothing behind.
  EXPECT_THROW(readhtml::HtmlParseFile(&doc, &names, ScratchDir() + "/no-such-page.htm"), EFOpenError);
  EXPECT_EQ(doc.Count(), 0);
}

// Records what the parser builds, as "set(attrs)[frame(src) sub(...)]".
class FrameSetRecorder : public readhtml::TFrameSetBuilder {
 public:
  static std::string Src(const htmlun2::TAttributeList& attrs) {
    htmlun2::TAttribute* a = nullptr;
    if (attrs.Find(readhtml::SrcAttr, a)) return a->Name;
    if (attrs.Find(readhtml::RowsAttr, a)) return "rows=" + a->Name;
    if (attrs.Find(readhtml::ColsAttr, a)) return "cols=" + a->Name;
    return "";
  }
  void SetAttributes(const htmlun2::TAttributeList& attrs) override { log += "set(" + Src(attrs) + ")["; }
  TFrameSetBuilder* AddSubFrameSet(const htmlun2::TAttributeList& attrs) override {
    subs.emplace_back(new FrameSetRecorder);
    subs.back()->log = "sub(" + Src(attrs) + ")[";
    children.push_back(subs.back().get());
    log += "#";
    return subs.back().get();
  }
  void AddFrame(const htmlun2::TAttributeList& attrs, const std::string& base) override {
    log += "frame(" + Src(attrs) + "@" + base + ")";
  }
  void Finish() override { log += "]"; }
  std::string Text() const {
    std::string out;
    size_t child = 0;
    for (char c : log) {
      if (c == '#') out += children[child++]->Text();
      else out += c;
    }
    return out;
  }
  std::string log;
  std::vector<std::unique_ptr<FrameSetRecorder>> subs;
  std::vector<FrameSetRecorder*> children;
};

TEST_F(ParserTest, FrameSetsAreFoundAndBuiltWithTheirNesting) {
  const std::string frames = ScratchDir() + "/frames.htm";
  WriteFileText(frames, "<html><head><title>F</title><base href=http://h/><script>if (a<b) x='<body>';</script></head>"
                        "<frameset rows=\"50,*\"><frame src=top.htm><noframes><frame src=no.htm></noframes>"
                        "<frameset cols=\"30%,70%\"><frame src=l.htm><frame src=r.htm></frameset></frameset><body>x");
  const std::string body = ScratchDir() + "/body.htm";
  WriteFileText(body, "<title>B</title><p>text<frameset rows=1><frame src=a.htm></frameset>");
  EXPECT_TRUE(readhtml::IsFrameSetFile(frames));
  EXPECT_FALSE(readhtml::IsFrameSetFile(body));
  FrameSetRecorder set;
  readhtml::FrameSetParse(set, frames);
  EXPECT_EQ(readhtml::Title, "F");
  EXPECT_EQ(readhtml::Base, "http://h/");
  EXPECT_EQ(set.Text(), "set(rows=50,*)[frame(top.htm@http://h/)sub(cols=30%,70%)[frame(l.htm@http://h/)frame(r.htm@http://h/)]]");

  // Nesting without end stops at the limit and ends at the end of input.
  std::string deep = "<frameset rows=1>";
  for (int i = 0; i < 100000; ++i) deep += "<frameset cols=2><frame src=f.htm>";
  WriteFileText(frames, deep);
  FrameSetRecorder deepSet;
  readhtml::FrameSetParse(deepSet, frames);
  EXPECT_LE(deepSet.subs.size(), 1u);
}

TEST_F(ParserTest, TheSourcesGiveTheSameDocument) {
  const std::string page = "<title>T</title><h3>h</h3><p>para one\r\nand two<ul><li>x<li>y</ul><pre>p\r\nq</pre>";
  Parse(page);
  const std::string expected = Shape();
  std::string path = ScratchDir() + "/sources.htm";
  WriteFileText(path, page);
  doc.Clear();
  readhtml::HtmlParseFile(&doc, &names, path);
  EXPECT_EQ(Shape(), expected);
  TMemoryStream stream;
  stream.Write(page.data(), static_cast<int>(page.size()));
  doc.Clear();
  readhtml::HtmlParseStream(&doc, &names, &stream);
  EXPECT_EQ(Shape(), expected);
  TStringList lines;
  lines.SetText(page);
  doc.Clear();
  readhtml::HtmlParseStrings(&doc, &names, &lines);
  EXPECT_EQ(Shape(), expected);
  EXPECT_EQ(readhtml::Title, "T");
}

}  // namespace
