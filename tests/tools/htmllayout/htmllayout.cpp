// htmllayout PAGE WIDTH: the parser's file entry and one layout pass at the
// given width with the portable (fixed) metrics.  Prints "title: ...",
// "sections: N" and "height: N"; "error: <message>" and exit code 2 when
// the parse or the layout raised.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "classes.h"
#include "htmlcanvas.h"
#include "htmlparse.h"
#include "htmlsections.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: htmllayout PAGE WIDTH\n");
    return 1;
  }
  const int width = std::atoi(argv[2]);
  htmlsubs::TSectionList doc;
  TStringList names;
  names.SetSorted(true);
  try {
    readhtml::HtmlParseFile(&doc, &names, argv[1]);
    int scrollWidth = 0, curs = 0;
    const int height = doc.Arrange(htmlsubs::ScreenMeasure(), 0, width, scrollWidth, curs);
    std::printf("title: %s\nsections: %d\nheight: %d\n", readhtml::Title.c_str(), doc.Count(), height);
  } catch (const Exception& e) {
    std::printf("error: %s\n", e.Message().c_str());
    return 2;
  } catch (const std::exception& e) {
    std::printf("error: %s\n", e.what());
    return 2;
  }
  return 0;
}
