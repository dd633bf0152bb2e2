// htmlbench [PAGE]: parse-and-layout times of generated pages with the
// portable (fixed) metrics: a 1 MB page of mixed paragraphs, lists and
// tables, and pages of 100000 nested DIV, list and table tags; with PAGE,
// that real page alone and wrapped in 12 nested tables, with the ratio of
// their layout times (the best of 20 passes each).  One line per page.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "classes.h"
#include "htmlcanvas.h"
#include "htmlparse.h"
#include "htmlsections.h"
#include "layout_digest.h"

namespace {

std::string MixedPage(size_t size) {
  std::string page = "<html><head><title>Mixed</title></head><body>";
  for (int n = 0; page.size() < size; ++n) {
    page += "<h2>Section " + std::to_string(n) + "</h2><p>The <b>patch</b> holds the <i>differences</i> between "
            "the old and the new version of every file, <a href=\"#s" + std::to_string(n) + "\">linked</a> here. ";
    page += "Some more words make this paragraph wrap over several lines of the layout width.</p>";
    page += "<ul><li>first item<li>second item with <tt>code</tt><ol><li>one<li>two</ol></ul>";
    page += "<table border=1 cellpadding=2><tr><th>Name<th>Size<th>Date</tr><tr><td>file" + std::to_string(n) +
            ".dll<td align=right>12345<td>2026-12-09</tr><tr><td colspan=3>A note across the table.</td></tr></table>";
  }
  return page + "</body></html>";
}

std::string Deep(const std::string& open, const std::string& close, int depth, const std::string& core = "core") {
  std::string page;
  page.reserve((open.size() + close.size()) * static_cast<size_t>(depth) + 16);
  for (int i = 0; i < depth; ++i) page += open;
  page += core;
  for (int i = 0; i < depth; ++i) page += close;
  return page;
}

// Layout time in seconds (the best of runs passes, as one pass of a small
// page is short next to the machine's noise).
double Time(const char* name, const std::string& page, int runs = 1) {
  htmlsubs::TSectionList doc;
  TStringList names;
  names.SetSorted(true);
  auto start = std::chrono::steady_clock::now();
  readhtml::HtmlParseBuffer(&doc, &names, page.data(), static_cast<int>(page.size()));
  auto parsed = std::chrono::steady_clock::now();
  double l = 1e9;
  int height = 0, scrollWidth = 0;
  for (int i = 0; i < runs; ++i) {
    auto before = std::chrono::steady_clock::now();
    int curs = 0;
    height = doc.Arrange(htmlsubs::ScreenMeasure(), 0, 800, scrollWidth, curs);
    l = std::min(l, std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
  }
  const double p = std::chrono::duration<double>(parsed - start).count();
  std::printf("htmlbench %-22s %8zu bytes  parse %.3f s  layout %.3f s  total %.3f s  height %d  digest %s\n", name,
              page.size(), p, l, p + l, height, layoutdigest::Of(doc, height, scrollWidth).c_str());
  return l;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Time("mixed 1 MB", MixedPage(1 << 20));
    Time("100000 nested DIV", Deep("<div>", "</div>", 100000));
    Time("100000 nested UL", Deep("<ul><li>", "</ul>", 100000));
    Time("100000 nested TABLE", Deep("<table><tr><td>", "</td></tr></table>", 100000));
  } else {
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string page = text.str();
    const double bare = Time("real page", page, 20);
    const double nested = Time("real page in 12 TABLE", Deep("<table><tr><td>", "</td></tr></table>", 12, page), 20);
    std::printf("htmlbench real page in 12 nested tables: layout %.1f x the bare page's (goal at most 3 x)\n",
                nested / bare);
  }
  return 0;
}
