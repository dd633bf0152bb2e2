// The HTML scanner: one token stream whatever the character source, the
// cases of the vocabulary that are easy to get wrong, colours, the font
// stack, and the entity names against Python's own table.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "classes.h"
#include "htmlscan.h"
#include "test_support.h"

using namespace readhtml;

namespace {

struct Token {
  Token(int s, std::string t, int l, std::string a = "") : sy(s), text(std::move(t)), level(l), attrs(std::move(a)) {}
  int sy;
  std::string text;
  int level;
  // The attribute list after a tag, as "kind=number:text|..."; only the
  // differential test looks at it.
  std::string attrs;
  bool operator==(const Token& o) const {
    return sy == o.sy && text == o.text && level == o.level && attrs == o.attrs;
  }
};

std::ostream& operator<<(std::ostream& os, const Token& t) {
  os << "{" << t.sy << " \"";
  for (char c : t.text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u >= 127) os << "\\x" << std::hex << int(u) << std::dec;
    else os << c;
  }
  return os << "\" " << t.level << " " << t.attrs << "}";
}

const int kError = -1;

// Scans from the chosen source to the end; a parse error ends the list
// with a token of kind kError holding the message.
std::string AttrsText() {
  std::string s;
  for (int i = 0; i < Attributes->Count(); ++i) {
    htmlun2::TAttribute* a = Attributes->Attr(i);
    s += std::to_string(a->Which) + "=" + std::to_string(a->Value) + ":" + a->Name + "|";
  }
  return s;
}

std::vector<Token> Scan(bool raw = false, bool pre = false, bool withAttrs = false) {
  ResetScanner();
  htmlun2::TAttributeList list;
  Attributes = &list;
  InPre = pre;
  NoComment = raw;
  std::vector<Token> out;
  try {
    GetCh();
    for (int guard = 0; guard < 100000; ++guard) {
      if (raw) NextPre();
      else Next();
      if (Sy == EofSy) break;
      out.push_back({Sy, LCToken, Sy == HeadingSy || Sy == HeadingEndSy ? HeadingLevel : 0,
                     withAttrs && Sy < kTagCount ? AttrsText() : ""});
    }
  } catch (const EParseError& e) {
    out.push_back({kError, e.Message(), 0, ""});
  }
  Attributes = nullptr;
  return out;
}

std::vector<Token> ScanText(const std::string& s, bool raw = false, bool pre = false, bool withAttrs = false) {
  UseBuffer(s.data(), s.data() + s.size());
  return Scan(raw, pre, withAttrs);
}

std::string Joined(const std::vector<Token>& tokens) {
  std::string s;
  for (const Token& t : tokens) s += t.text;
  return s;
}

// Lines as the string-list source would hold them: every line end (CR LF,
// LF CR, CR or LF) splits; the text ends with one.
TStringList* SplitLines(const std::string& s) {
  auto* list = new TStringList;
  std::string line;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\r' || c == '\n') {
      if (i + 1 < s.size() && (s[i + 1] == '\r' || s[i + 1] == '\n') && s[i + 1] != c) ++i;
      list->Add(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) list->Add(line);
  return list;
}

// Inputs that mix every line-end form, tabs, comments, declarations,
// entities and tags, some of them moved across the stream's 250-byte and
// the text file's 2000-byte block edges.
std::vector<std::string> DifferentialInputs() {
  std::vector<std::string> bases = {
      "<HTML>\r\n<head><title>A\ttitle</title></head>\n\r<body bgcolor=\"#FFFFFF\">\r",
      "one &amp; two &lt;three&gt; &copy;&nbsp;&#169; &#9;x&#1234; &AMP; &; &\n",
      "<!-- a -- -- >after <!DOCTYPE html PUBLIC \"x\">next<!---->z\r\n",
      "<p>\tlead\r\n\r\ntrail <br><H3>head</h3 ><h7 x>seven</li></LI>\n",
      "<pre>  keep\r\n  these\n\r lines\r</pre>\n",
      "<IMG SRC=\"a &amp;\r\n b.gif \" width=99999999999 BORDER\r\nheight = 50 % alt='x>y' USEMAP=#m>\n",
      "<!-- comment\r\nover\nlines -->\r<!--x--><!--y-->w&#10;&frac12\n",
  };
  std::vector<std::string> out = bases;
  for (const std::string& b : bases)
    for (size_t edge : {size_t(250), size_t(2000)})
      for (size_t at = 0; at < b.size(); ++at) {
        // Filler of words and line ends puts character 'at' of the base on
        // the block edge.
        std::string filler;
        while (filler.size() < edge - at) filler += "word \r\n";
        filler.resize(edge - at);
        out.push_back(filler + b);
      }
  // Texts of exactly one and two blocks.
  out.push_back(std::string(249, 'y') + "\n");
  out.push_back(std::string(499, 'z') + "\r");
  return out;
}

class CountingStream : public TMemoryStream {
 public:
  int reads = 0;
  int Read(void* buffer, int count) override {
    ++reads;
    return TMemoryStream::Read(buffer, count);
  }
};

}  // namespace

TEST(HtmlScan, FourSourcesGiveOneTokenStream) {
  std::string path = testsupport::Join(testsupport::ScratchDir(), "page.html");
  for (bool pre : {false, true}) {
    for (const std::string& input : DifferentialInputs()) {
      SCOPED_TRACE(input.substr(0, 60) + (pre ? " (pre)" : ""));
      std::vector<Token> fromBuffer = ScanText(input, false, pre, true);
      ASSERT_FALSE(fromBuffer.empty());
      ASSERT_NE(fromBuffer.back().sy, kError);

      TMemoryStream stream;
      stream.WriteBuffer(input.data(), static_cast<int>(input.size()));
      stream.SetPosition(0);
      UseStream(&stream);
      EXPECT_EQ(Scan(false, pre, true), fromBuffer) << "stream";

      std::unique_ptr<TStringList> lines(SplitLines(input));
      UseStrings(lines.get());
      EXPECT_EQ(Scan(false, pre, true), fromBuffer) << "strings";

      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(input.data(), 1, input.size(), f);
      std::fclose(f);
      UseTextFile(path);
      EXPECT_EQ(Scan(false, pre, true), fromBuffer) << "text file";
      CloseTextFile();
    }
  }
  EXPECT_THROW(UseTextFile(path + ".missing"), EFOpenError);
}

TEST(HtmlScan, TokenCases) {
  struct Case {
    const char* input;
    std::vector<Token> tokens;
  };
  const Case cases[] = {
      {"a &amp; b", {{TextSy, "a ", 0}, {TextSy, "&", 0}, {TextSy, " b", 0}}},
      {"&AMP;", {{TextSy, "&AMP;", 0}}},
      {"&#1234;", {{TextSy, "&#1234", 0}, {TextSy, ";", 0}}},
      {"&#9;&#10;&#32&#255;&#0;", {{TextSy, " ", 0}, {TextSy, "\n", 0}, {TextSy, " ", 0}, {TextSy, "\xff", 0},
                                  {TextSy, "&#0;", 0}}},
      {"&;& x", {{TextSy, "&;", 0}, {TextSy, "&", 0}, {TextSy, " x", 0}}},
      {"&nbsp&uml;&abcdefg;", {{TextSy, "\xa0", 0}, {TextSy, "\xa8", 0}, {TextSy, "&abcdefg", 0}, {TextSy, ";", 0}}},
      {"</LI><li></foo><>", {{UnknownTagSy, "LI", 0}, {LISy, "LI", 0}, {UnknownTagSy, "FOO", 0}, {UnknownTagSy, "", 0}}},
      {"<H7>x<h 2><H1></h6 >",
       {{HeadingSy, "H", 0}, {TextSy, "x", 0}, {HeadingSy, "H", 2}, {HeadingSy, "H", 1}, {HeadingEndSy, "H", 6}}},
      {"<Td\r\nwidth=5></strike><SELECTED>", {{TDSy, "TD", 0}, {StrikeEndSy, "STRIKE", 0}, {SelectedSy, "SELECTED", 0}}},
      {"a\t \r\n  b>\x01", {{TextSy, "a b", 0}, {OtherCharSy, ">", 0}, {OtherCharSy, "\x01", 0}}},
      // Comments vanish below the tokens: the text around them is one run.
      {"<!-- a -- -- >x<!DOCTYPE y>z<!>w", {{TextSy, "xzw", 0}}},
      {"<!-- a -- b -->c<!---x-->d<!-- -- x -->e", {{TextSy, "cde", 0}}},
      {"x<!-- open", {{kError, "Open Comment at End of HTML File", 0}}},
      {"x<!DOCTYPE", {{kError, "Open Comment at End of HTML File", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::vector<Token> got = ScanText(c.input);
    // The error case keeps only what came before the failure.
    if (!got.empty() && got.back().sy == kError) got.erase(got.begin(), got.end() - 1);
    EXPECT_EQ(got, c.tokens);
  }

  // Preformatted text keeps spaces and every line end as one CR.
  EXPECT_EQ(ScanText("a  b\r\nc\n\rd\re\n", false, true), (std::vector<Token>{{TextSy, "a  b\rc\rd\re\r", 0}}));
  // A run is cut at 100 characters and goes on in the next token.
  std::vector<Token> run = ScanText(std::string(250, 'r'));
  ASSERT_EQ(run.size(), 3u);
  EXPECT_EQ(run[0].text.size(), 100u);
  EXPECT_EQ(run[2].text.size(), 50u);
  // Tag names past 150 letters are dropped; the tag still ends at ">".
  std::vector<Token> longTag = ScanText("<" + std::string(400, 'Q') + " a=1>t");
  ASSERT_EQ(longTag.size(), 2u);
  EXPECT_EQ(longTag[0].sy, UnknownTagSy);
  EXPECT_EQ(longTag[0].text.size(), 150u);
  EXPECT_EQ(longTag[1].text, "t");
}

TEST(HtmlScan, Attributes) {
  htmlun2::TAttributeList list;
  Attributes = &list;
  std::string page =
      "<IMG SRC=\"a &amp;\r\n b.gif \" WIDTH=99999999999 BORDER\r\nHEIGHT=50 % ALT='say \"hi\"'"
      " Foo=Bar Usemap=#m vspace=\"75%\" size=+2em hspace=-2147483648 align=2147483648>"
      "<B TITLE='a>b'>c<A HREF=\"x";
  UseBuffer(page.data(), page.data() + page.size());
  ResetScanner();
  GetCh();
  Next();
  ASSERT_EQ(Sy, ImageSy);
  struct Want {
    int which, value;
    const char* name;
  };
  const Want want[] = {
      {SrcAttr, 0, "a & b.gif"},  {WidthAttr, 0, "99999999999"}, {BorderAttr, 1, ""},
      {HeightAttr, 50, "50%"},    {AltAttr, 0, "say \"hi\""},    {UnknownAttr, 0, "Bar"},
      {UseMapAttr, 0, "#m"},      {UnknownAttr, 75, "75%"},      {SizeAttr, 0, "+2EM"},
      {HSpaceAttr, -2147483647 - 1, "-2147483648"}, {AlignAttr, 0, "2147483648"},
  };
  ASSERT_EQ(list.Count(), static_cast<int>(sizeof want / sizeof want[0]));
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list.Attr(i)->Which, want[i].which);
    EXPECT_EQ(list.Attr(i)->Value, want[i].value);
    EXPECT_EQ(list.Attr(i)->Name, want[i].name);
  }
  htmlun2::TAttribute* found = nullptr;
  ASSERT_TRUE(list.Find(UnknownAttr, found));
  EXPECT_EQ(found->Name, "Bar");

  // B keeps no attributes: they are read past (the quoted ">" with them)
  // and the list stays as IMG left it.
  Next();
  EXPECT_EQ(Sy, BSy);
  Next();
  EXPECT_EQ(LCToken, "c");
  EXPECT_EQ(list.Count(), 11);
  // An unclosed quote runs to the end of input.
  Next();
  EXPECT_EQ(Sy, ASy);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Attr(0)->Name, "x");
  Next();
  EXPECT_EQ(Sy, EofSy);
  Attributes = nullptr;
}

TEST(HtmlScan, RawText) {
  std::vector<Token> t = ScanText("a<b>\r\n<!-- c --></TEXTAREA>x", true);
  std::vector<Token> want = {{TextSy, "a", 0},         {UnknownTagSy, "<b", 0}, {TextSy, ">", 0},
                             {EolSy, "", 0},           {UnknownTagSy, "<!--", 0}, {TextSy, " c -->", 0},
                             {TextAreaCloseSy, "</TEXTAREA", 0}, {TextSy, ">x", 0}};
  EXPECT_EQ(t, want);
  // A long run after "<" is cut at the token's size and the rest comes
  // back as text, so nothing of it is lost.
  std::string longRun = "<" + std::string(1999, 'k');
  std::vector<Token> lr = ScanText(longRun, true);
  ASSERT_FALSE(lr.empty());
  EXPECT_EQ(lr[0].sy, UnknownTagSy);
  EXPECT_EQ(lr[0].text.size(), 150u);
  for (const Token& tok : lr) EXPECT_LE(tok.text.size(), 150u);
  EXPECT_EQ(Joined(lr), longRun);
}

TEST(HtmlScan, StreamOfWholeBlocksEndsAfterAnEmptyRead) {
  CountingStream stream;
  std::string text(250, 'w');
  stream.WriteBuffer(text.data(), 250);
  stream.SetPosition(0);
  UseStream(&stream);
  std::vector<Token> t = Scan();
  EXPECT_EQ(Joined(t), text);
  EXPECT_EQ(stream.reads, 2);
}

TEST(HtmlScan, Colors) {
  TColor c = 0x123456;
  EXPECT_TRUE(ColorFromString("#FF0000", c));
  EXPECT_EQ(c, 0x0000FFu);
  for (const char* red : {"red", "RED", "Red"}) {
    c = 0;
    EXPECT_TRUE(ColorFromString(red, c));
    EXPECT_EQ(c, 0x0000FFu);
  }
  EXPECT_TRUE(ColorFromString("fuchsia", c));
  EXPECT_EQ(c, 0xFF00FFu);
  EXPECT_TRUE(ColorFromString("12ab34", c));
  EXPECT_EQ(c, 0x34AB12u);
  EXPECT_TRUE(ColorFromString("#FFFFFF", c));
  EXPECT_EQ(c, 0xFFFFFFu);
  // Nothing that fails touches the colour: no name, no hexadecimal, more
  // than 24 bits (which would reach a TColor's flag bits), a bare "#".
  c = 0x654321;
  for (const char* bad : {"", "#", "xyz", "#12 34", "#1000000", "#FFFFFFFFF", "123456789ABC", "WHITEWHITE"})
    EXPECT_FALSE(ColorFromString(bad, c)) << bad;
  EXPECT_EQ(c, 0x654321u);
}

TEST(HtmlScan, FontStack) {
  FreeFontStack();
  auto* bottom = new htmlsubs::TMyFont;
  bottom->SetName("Times New Roman");
  bottom->SetColor(0x00FF00);
  bottom->ScaleSize = 18;
  bottom->PreFace = true;
  FontStack[0] = bottom;
  FontStackDepth = 1;
  for (int i = 1; i < kMaxFontStack; ++i) {
    ASSERT_TRUE(PushNewFont()) << i;
    FontStack[FontStackDepth - 1]->SetSize(FontStack[FontStackDepth - 2]->Size() + 1);
  }
  EXPECT_FALSE(PushNewFont());
  EXPECT_EQ(FontStackDepth, kMaxFontStack);
  htmlsubs::TMyFont* top = FontStack[kMaxFontStack - 1];
  EXPECT_EQ(top->Name(), "Times New Roman");
  EXPECT_EQ(top->Color(), 0x00FF00u);
  EXPECT_EQ(top->ScaleSize, 18);
  EXPECT_TRUE(top->PreFace);
  EXPECT_EQ(top->Size(), bottom->Size() + kMaxFontStack - 1);
  for (int i = 0; i < 2 * kMaxFontStack; ++i) PopFont();
  EXPECT_EQ(FontStackDepth, 1);
  EXPECT_EQ(FontStack[0], bottom);
  FreeFontStack();
  EXPECT_EQ(FontStackDepth, 0);

  // The description reports changes of what it holds, and only those.
  htmlsubs::TMyFont a, b;
  int changes = 0;
  a.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &a);
    ++changes;
  };
  a.SetStyle(fsBold | fsItalic);
  a.SetStyle(fsBold | fsItalic);
  a.SetHeight(-20);
  EXPECT_EQ(a.Size(), 15);
  a.SetSize(15);
  EXPECT_EQ(changes, 2);
  b.ScaleSize = 8;
  a.Assign(b);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(a.Style(), 0u);
  EXPECT_EQ(a.Height(), -11);
  EXPECT_EQ(a.ScaleSize, 8);
}

TEST(HtmlScan, Vocabulary) {
  // Each tag and attribute name is found as itself and as nothing else.
  ASSERT_EQ(sizeof kTags / sizeof kTags[0], 62u);
  for (int i = 0; i < kTagCount; ++i) {
    SCOPED_TRACE(kTags[i].Name);
    std::vector<Token> t = ScanText(std::string("<") + kTags[i].Name + "></" + kTags[i].Name + ">");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].sy, kTags[i].Kind);
    EXPECT_EQ(t[1].sy, i < kTagsWithEnd ? kTags[i].Kind + kEndOffset : int(UnknownTagSy));
  }
  for (int i = 0; i < 20; ++i) EXPECT_EQ(UpperCase(LowRoman[i]), HighRoman[i]);
  EXPECT_STREQ(LowRoman[3], "iv");
  EXPECT_STREQ(LowRoman[8], "ix");
  EXPECT_STREQ(HighRoman[13], "XIV");
  EXPECT_STREQ(HighRoman[18], "XIX");
  EXPECT_STREQ(HighRoman[17], "XVIII");
}

TEST(HtmlScan, EntityNamesAgreeWithPython) {
  std::string out;
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/python3",
                                 {"-c",
                                  "import html.entities as h\n"
                                  "for c in [38, 60, 62, 34] + list(range(160, 256)):\n"
                                  "    print(c, h.codepoint2name.get(c, ''))\n"},
                                 &out),
            0)
      << out;
  std::map<int, std::string> python;
  std::istringstream in(out);
  int code;
  std::string name;
  while (in >> code >> name) python[code] = name;
  ASSERT_EQ(python.size(), 100u);
  int named = 0;
  for (int i = 0; i < kEntityCount; ++i) {
    const TEntity& e = kEntities[i];
    SCOPED_TRACE(e.Code);
    if (i >= 4) {
      EXPECT_EQ(e.Code, i + 156);
    }
    if (e.Code == 215 || e.Code == 247) {
      EXPECT_STREQ(e.Name, "");
      continue;
    }
    EXPECT_EQ(e.Name, python[e.Code]);
    // And the scanner finds it under that name.
    EXPECT_EQ(ScanText(std::string("&") + e.Name + ";"), (std::vector<Token>{{TextSy, std::string(1, char(e.Code)), 0}}));
    if (i >= 4) ++named;
  }
  EXPECT_EQ(named, 94);
}
