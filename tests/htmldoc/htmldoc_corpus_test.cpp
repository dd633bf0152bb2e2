// Layout of a corpus of pages (the program's help pages, the parser's test
// pages, generated pages of nested tables, lists, images and alignments)
// must leave exactly the positions and sizes recorded in layout_digests.txt:
// a faster layout may not move a single line.  MORVANE_WRITE_DIGESTS=1
// rewrites this platform's entries from the current layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "classes.h"
#include "htmlcanvas.h"
#include "htmlparse.h"
#include "layout_digest.h"
#include "test_support.h"

namespace {

#ifdef _WIN32
const char* const kPlatform = "gdi";
#else
const char* const kPlatform = "fixed";
#endif

struct Page {
  std::string name, html;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Nest(const std::string& inner, int depth, const std::string& table, const std::string& cell) {
  std::string page;
  for (int i = 0; i < depth; ++i) page += table + "<tr>" + cell;
  page += inner;
  for (int i = 0; i < depth; ++i) page += "</td></tr></table>";
  return page;
}

std::vector<Page> Corpus() {
  namespace fs = std::filesystem;
  std::vector<Page> pages;
  const std::string src = testsupport::SourceDir();
  for (const char* dir : {"help", "tests/htmlparse/corpus"}) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(src) / dir)) {
      const std::string n = e.path().filename().string();
      if (e.is_regular_file() && n.find(".gif") == std::string::npos) names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names)
      pages.push_back({std::string(dir) + "/" + n, ReadText((fs::path(src) / dir / n).string())});
  }
  const std::string gif = testsupport::Join(testsupport::Join(src, "help"), "bar.gif");
  const std::string body =
      "<h2 align=center>Options</h2><p>The <b>patch</b> holds the <i>differences</i> of "
      "<a href=\"#x\">every file</a>, x<sup>2</sup> and H<sub>2</sub>O.<img src=\"" + gif +
      "\" align=right hspace=4> Text flows beside the picture and wraps over several lines here."
      "<ul><li>first<li>second <tt>code</tt><ol type=i start=3><li>three<li>four</ol></ul>"
      "<p align=right>right<br clear=all>after<hr width=50%><pre>  pre  line\n  two</pre>"
      "<dl><dt>term<dd>definition</dl><img src=\"" + gif + "\" align=middle><img src=missing.gif width=30 height=20>";
  const std::string grid =
      "<table border=2 cellpadding=4 cellspacing=2 width=90% bgcolor=silver><caption>Files</caption>"
      "<tr><th>Name<th width=30%>Size<th rowspan=2 valign=bottom>Date</tr>"
      "<tr><td colspan=2 align=center>spans two columns of the grid</td></tr>"
      "<tr><td valign=top>" + body + "<td>12345<td align=right>2026</tr></table>";
  pages.push_back({"generated/body", body});
  pages.push_back({"generated/grid", grid});
  pages.push_back({"generated/abs", "<table width=400><tr><td width=100>a b c<td width=50>" + body +
                                        "</table><table align=left><tr><td>float</table>beside the floating table"});
  for (int depth : {1, 2, 3, 5, 8, 12, 14}) {
    const std::string d = std::to_string(depth);
    pages.push_back({"generated/nested" + d, Nest(body, depth, "<table border=1>", "<td>")});
    pages.push_back({"generated/nested-mixed" + d,
                     Nest(grid + body, depth, "<table cellpadding=3 width=95%><caption align=bottom>c</caption>",
                          "<td>left<td valign=bottom>")});
    pages.push_back({"generated/nested-list" + d, Nest("<ul><li>" + body + "</ul>", depth, "<ul><li><table>", "<td>")});
  }
  // Every kind of form control, in the text and in a table cell, where a
  // control's height decides the line's and the row's.
  const std::string controls =
      "<form action=x><select name=s><option>one<option selected>a longer option</select> "
      "<input name=q size=12><input type=submit><input type=checkbox name=c><input type=radio name=r>"
      "<select name=m size=3><option>a<option>b</select><textarea rows=2 cols=10>t</textarea></form>";
  pages.push_back({"generated/controls", controls + "<table border=1><tr><td>" + controls + "<td>x</table>"});
  // Never closed: each table ends where the page does.
  std::string open;
  for (int i = 0; i < 10; ++i) open += "<table><tr><td>" + body;
  pages.push_back({"generated/unclosed", open});
  return pages;
}

std::string Layout(const Page& p, int width) {
  htmlsubs::TSectionList doc;
  TStringList names;
  names.SetSorted(true);
  try {
    readhtml::HtmlParseBuffer(&doc, &names, p.html.data(), static_cast<int>(p.html.size()));
    // The viewer lays out again when a scroll bar comes or goes: both
    // passes are recorded.
    std::string digests;
    for (int pass = 0; pass < 2; ++pass) {
      int scrollWidth = 0, curs = 0;
      const int height = doc.Arrange(htmlsubs::ScreenMeasure(), 0, width, scrollWidth, curs);
      digests += (pass ? "-" : "") + layoutdigest::Of(doc, height, scrollWidth);
    }
    return digests;
  } catch (const Exception& e) {
    return "error:" + e.Message();
  }
}

TEST(HtmlDocCorpus, LayoutOfEveryPageIsExactlyTheRecordedOne) {
  const std::string table = testsupport::Join(testsupport::Join(testsupport::Join(testsupport::SourceDir(), "tests"), "htmldoc"),
                                       "layout_digests.txt");
  std::map<std::string, std::string> recorded, others;
  {
    // "platform page width digest", the digest running to the line's end.
    std::ifstream in(table);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string platform, key, width, digest;
      fields >> platform >> key >> width >> std::ws;
      std::getline(fields, digest);
      (platform == kPlatform ? recorded : others)[platform + " " + key + " " + width] = digest;
    }
  }
  std::map<std::string, std::string> now;
  for (const Page& p : Corpus())
    for (int width : {250, 640})
      now[std::string(kPlatform) + " " + p.name + " " + std::to_string(width)] = Layout(p, width);
  ASSERT_GT(now.size(), 100u);

  const char* write = std::getenv("MORVANE_WRITE_DIGESTS");
  if (write && std::string(write) == "1") {
    others.insert(now.begin(), now.end());
    std::ofstream out(table, std::ios::binary | std::ios::trunc);
    for (const auto& e : others) out << e.first << " " << e.second << "\n";
    GTEST_SKIP() << "recorded " << now.size() << " digests";
  }
  int differ = 0;
  for (const auto& e : now) {
    // Laying a page out again (the viewer does at every resize and when a
    // scroll bar comes or goes) leaves every position and size as it was.
    const size_t dash = e.second.find('-');
    if (e.second.compare(0, 6, "error:") != 0) {
      EXPECT_EQ(e.second.substr(0, dash), e.second.substr(dash + 1)) << e.first << " moved when laid out again";
    }
    auto it = recorded.find(e.first);
    if (it == recorded.end() || it->second != e.second) {
      ++differ;
      ADD_FAILURE() << e.first << ": " << e.second << ", recorded "
                    << (it == recorded.end() ? std::string("nothing") : it->second);
    }
  }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(recorded.size(), now.size());
}

}  // namespace
