#include "htmlscan.h"

#include <cstdlib>

namespace readhtml {

const TTagInfo kTags[kTagCount] = {
    {"HTML", false, HtmlSy},
    {"TITLE", false, TitleSy},
    {"BODY", true, BodySy},
    {"HEAD", false, HeadSy},
    {"B", false, BSy},
    {"I", false, ISy},
    {"H", true, HeadingSy},
    {"EM", false, EmSy},
    {"STRONG", false, StrongSy},
    {"U", false, USy},
    {"CITE", false, CiteSy},
    {"VAR", false, VarSy},
    {"TT", false, TTSy},
    {"CODE", false, CodeSy},
    {"KBD", false, KbdSy},
    {"SAMP", false, SampSy},
    {"OL", true, OLSy},
    {"UL", true, ULSy},
    {"DIR", false, DirSy},
    {"MENU", false, MenuSy},
    {"DL", false, DLSy},
    {"A", true, ASy},
    {"ADDRESS", false, AddressSy},
    {"BLOCKQUOTE", false, BlockQuoteSy},
    {"PRE", false, PreSy},
    {"CENTER", false, CenterSy},
    {"TABLE", true, TableSy},
    {"TD", true, TDSy},
    {"TH", true, THSy},
    {"CAPTION", true, CaptionSy},
    {"FORM", true, FormSy},
    {"TEXTAREA", true, TextAreaSy},
    {"SELECT", true, SelectSy},
    {"OPTION", true, OptionSy},
    {"FONT", true, FontSy},
    {"SUB", false, SubSy},
    {"SUP", false, SupSy},
    {"BIG", false, BigSy},
    {"SMALL", false, SmallSy},
    {"P", true, PSy},
    {"MAP", true, MapSy},
    {"FRAMESET", true, FrameSetSy},
    {"NOFRAMES", false, NoFramesSy},
    {"SCRIPT", true, ScriptSy},
    {"DIV", true, DivSy},
    {"S", false, SSy},
    {"STRIKE", false, StrikeSy},
    {"LI", false, LISy},
    {"BR", true, BRSy},
    {"HR", true, HRSy},
    {"DD", false, DDSy},
    {"DT", false, DTSy},
    {"IMG", true, ImageSy},
    {"BASE", true, BaseSy},
    {"TR", true, TRSy},
    {"BUTTON", false, ButtonSy},
    {"INPUT", true, InputSy},
    {"SELECTED", false, SelectedSy},
    {"BASEFONT", true, BaseFontSy},
    {"AREA", true, AreaSy},
    {"FRAME", true, FrameSy},
    {"PAGE", false, PageSy},
};
const char* const kAttributeNames[kAttributeCount] = {
    "HREF", "NAME", "SRC", "ALT", "ALIGN", "TEXT", "BGCOLOR", "LINK", "BACKGROUND", "COLSPAN",
    "ROWSPAN", "BORDER", "CELLPADDING", "CELLSPACING", "VALIGN", "WIDTH", "START", "VALUE", "TYPE",
    "CHECKBOX", "RADIO", "METHOD", "ACTION", "CHECKED", "SIZE", "MAXLENGTH", "COLS", "ROWS",
    "MULTIPLE", "SELECTED", "FACE", "COLOR", "TRANSP", "CLEAR", "ISMAP", "BORDERCOLOR", "USEMAP",
    "SHAPE", "COORDS", "NOHREF", "HEIGHT", "PLAIN", "TARGET", "NORESIZE", "SCROLLING", "HSPACE",
    "LANGUAGE", "FRAMEBORDER",
};
const TEntity kEntities[kEntityCount] = {
    {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},    {"nbsp", 160},
    {"iexcl", 161},   {"cent", 162},    {"pound", 163},   {"curren", 164},  {"yen", 165},
    {"brvbar", 166},  {"sect", 167},    {"uml", 168},     {"copy", 169},    {"ordf", 170},
    {"laquo", 171},   {"not", 172},     {"shy", 173},     {"reg", 174},     {"macr", 175},
    {"deg", 176},     {"plusmn", 177},  {"sup2", 178},    {"sup3", 179},    {"acute", 180},
    {"micro", 181},   {"para", 182},    {"middot", 183},  {"cedil", 184},   {"sup1", 185},
    {"ordm", 186},    {"raquo", 187},   {"frac14", 188},  {"frac12", 189},  {"frac34", 190},
    {"iquest", 191},  {"Agrave", 192},  {"Aacute", 193},  {"Acirc", 194},   {"Atilde", 195},
    {"Auml", 196},    {"Aring", 197},   {"AElig", 198},   {"Ccedil", 199},  {"Egrave", 200},
    {"Eacute", 201},  {"Ecirc", 202},   {"Euml", 203},    {"Igrave", 204},  {"Iacute", 205},
    {"Icirc", 206},   {"Iuml", 207},    {"ETH", 208},     {"Ntilde", 209},  {"Ograve", 210},
    {"Oacute", 211},  {"Ocirc", 212},   {"Otilde", 213},  {"Ouml", 214},    {"", 215},
    {"Oslash", 216},  {"Ugrave", 217},  {"Uacute", 218},  {"Ucirc", 219},   {"Uuml", 220},
    {"Yacute", 221},  {"THORN", 222},   {"szlig", 223},   {"agrave", 224},  {"aacute", 225},
    {"acirc", 226},   {"atilde", 227},  {"auml", 228},    {"aring", 229},   {"aelig", 230},
    {"ccedil", 231},  {"egrave", 232},  {"eacute", 233},  {"ecirc", 234},   {"euml", 235},
    {"igrave", 236},  {"iacute", 237},  {"icirc", 238},   {"iuml", 239},    {"eth", 240},
    {"ntilde", 241},  {"ograve", 242},  {"oacute", 243},  {"ocirc", 244},   {"otilde", 245},
    {"ouml", 246},    {"", 247},        {"oslash", 248},  {"ugrave", 249},  {"uacute", 250},
    {"ucirc", 251},   {"uuml", 252},    {"yacute", 253},  {"thorn", 254},   {"yuml", 255},
};

const char* const LowRoman[20] = {"i",   "ii",   "iii",   "iv",  "v",   "vi",   "vii",
                                  "viii", "ix",   "x",     "xi",  "xii", "xiii", "xiv",
                                  "xv",  "xvi",  "xvii",  "xviii", "xix", "xx"};
const char* const HighRoman[20] = {"I",   "II",   "III",   "IV",  "V",   "VI",   "VII",
                                   "VIII", "IX",   "X",     "XI",  "XII", "XIII", "XIV",
                                   "XV",  "XVI",  "XVII",  "XVIII", "XIX", "XX"};

TSourceKind SourceKind = skBuffer;
char LCh = kEofChar, Ch = kEofChar;
Symb Sy = EofSy;
std::string LCToken;
int HeadingLevel = 0;
htmlun2::TAttributeList* Attributes = nullptr;
bool InPre = false;
bool NoComment = false;
htmlsubs::TMyFont* FontStack[kMaxFontStack] = {};
int FontStackDepth = 0;

namespace {

const char CR = 13, LF = 10;

// One character pushed back by the line-end rule; 0 is none.
char savedCh = 0;
// Inside "<!": end of input there is an error, not an end.
bool inComment = false;

struct {
  std::FILE* file = nullptr;
  unsigned char buf[2000];
  size_t len = 0, pos = 0;
} textFile;

const char* bufPos = nullptr;
const char* bufEnd = nullptr;

const TStrings* strings = nullptr;
int stringsLine = 0;
std::string stringsCurrent;
bool stringsFetched = false;
size_t stringsPos = 0;

TStream* stream = nullptr;
char streamBlock[251];
int streamLen = 0, streamPos = 0;

char ReadTextFile() {
  if (textFile.pos >= textFile.len) {
    textFile.len = textFile.file ? std::fread(textFile.buf, 1, sizeof textFile.buf, textFile.file) : 0;
    textFile.pos = 0;
    if (textFile.len == 0) return kEofChar;
  }
  return static_cast<char>(textFile.buf[textFile.pos++]);
}

char ReadBuffer() {
  if (bufPos == nullptr || bufPos >= bufEnd) return kEofChar;
  return *bufPos++;
}

char ReadStrings() {
  if (strings == nullptr || stringsLine >= strings->Count()) return kEofChar;
  if (!stringsFetched) {
    stringsCurrent = strings->Get(stringsLine);
    stringsFetched = true;
  }
  if (stringsPos < stringsCurrent.size()) return stringsCurrent[stringsPos++];
  ++stringsLine;
  stringsPos = 0;
  stringsFetched = false;
  return CR;
}

char ReadStream() {
  if (streamPos >= streamLen) {
    streamLen = stream ? stream->Read(streamBlock, 250) : 0;
    if (streamLen < 0) streamLen = 0;
    streamPos = 0;
    // A short block carries the end with it.
    if (streamLen < 250) streamBlock[streamLen++] = kEofChar;
  }
  return streamBlock[streamPos++];
}

char ReadSource() {
  switch (SourceKind) {
    case skTextFile: return ReadTextFile();
    case skBuffer: return ReadBuffer();
    case skStrings: return ReadStrings();
    case skStream: return ReadStream();
  }
  return kEofChar;
}

char UpCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsAlnum(char c) { return IsDigit(c) || IsUpperLetter(c) || (c >= 'a' && c <= 'z'); }

// The raw step: line ends folded to one CR, tab to space.
void RawCh() {
  char c;
  if (savedCh != 0) {
    c = savedCh;
    savedCh = 0;
  } else {
    c = ReadSource();
  }
  if (c == LF || c == CR) {
    char pair = c == LF ? CR : LF;
    char d = ReadSource();
    if (d != pair) savedCh = d;
    c = CR;
  } else if (c == '\t') {
    c = ' ';
  }
  LCh = c;
  Ch = UpCase(c);
  if (c == kEofChar && inComment) throw EParseError("Open Comment at End of HTML File");
}

// After "<!": a comment when "--" follows, else a declaration up to ">".
void SkipComment() {
  inComment = true;
  RawCh();
  bool dashes = false;
  if (LCh == '-') {
    RawCh();
    dashes = LCh == '-';
  }
  if (dashes) {
    RawCh();
    for (;;) {
      if (LCh != '-') {
        RawCh();
        continue;
      }
      RawCh();
      if (LCh != '-') continue;
      // "--": further dashes, spaces and line ends may stand before ">".
      while (LCh == '-' || LCh == ' ' || LCh == CR) RawCh();
      if (LCh == '>') break;
    }
  } else {
    while (LCh != '>') RawCh();
  }
  inComment = false;
}

bool InTextRun(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u == 13 || (u >= 32 && u <= 37) || (u >= 39 && u <= 59) || u == 61 || u >= 63;
}

const size_t kTokenLimit = static_cast<size_t>(kMaxToken);
const size_t kRunLimit = static_cast<size_t>(kMaxTextRun);

void Append(std::string& s, char c, size_t limit) {
  if (s.size() < limit) s += c;
}

// After "&": the entity's character, or its text when it is none.
std::string ReadEntity() {
  GetCh();
  std::string out;
  if (LCh == '#') {
    GetCh();
    std::string digits;
    while (IsDigit(LCh) && digits.size() < 4) {
      digits += LCh;
      GetCh();
    }
    if (digits.size() == 4) return "&#" + digits;
    bool semi = LCh == ';';
    if (semi) GetCh();
    if (!digits.empty()) {
      int v = std::atoi(digits.c_str());
      if (v >= 32 && v <= 255) return std::string(1, static_cast<char>(v));
      if (v == 10) return std::string(1, LF);
      if (v == 9) return " ";
    }
    return "&#" + digits + (semi ? ";" : "");
  }
  std::string name;
  while (IsAlnum(LCh)) {
    name += LCh;
    GetCh();
    if (name.size() == 7) return "&" + name;
  }
  bool semi = LCh == ';';
  if (semi) GetCh();
  if (!name.empty())
    for (const TEntity& e : kEntities)
      if (name == e.Name) return std::string(1, static_cast<char>(e.Code));
  return "&" + name + (semi ? ";" : "");
}

Symb LookupAttribute(const std::string& name) {
  for (int i = 0; i < kAttributeCount; ++i)
    if (name == kAttributeNames[i]) return static_cast<Symb>(HrefAttr + i);
  return UnknownAttr;
}

// A number of an attribute value: anything that does not convert, a value
// outside 32 bits included, is 0.
int AttributeNumber(const std::string& text) { return StrToIntDef(text, 0); }

// One attribute: false when no name stands at the current character.
bool ReadAttribute(Symb& kind, int& value, std::string& text) {
  SkipWhiteSpace();
  std::string name;
  while (IsUpperLetter(Ch)) {
    Append(name, Ch, kTokenLimit);
    GetCh();
  }
  if (name.empty()) return false;
  kind = LookupAttribute(name);
  SkipWhiteSpace();
  value = kind == BorderAttr ? 1 : 0;
  text.clear();
  if (LCh != '=') return true;
  GetCh();
  SkipWhiteSpace();
  if (LCh == '"' || LCh == '\'') {
    char quote = LCh;
    GetCh();
    while (LCh != quote && LCh != kEofChar) {
      if (LCh == CR) {
        GetCh();
      } else if (LCh == '&') {
        text += ReadEntity();
      } else {
        text += LCh;
        GetCh();
      }
    }
    if (LCh == quote) GetCh();
    text = Trim(text);
    std::string number = text;
    if (!number.empty() && number.back() == '%') number.pop_back();
    value = AttributeNumber(number);
  } else if (LCh == '+' || LCh == '-' || IsDigit(LCh)) {
    text += LCh;
    GetCh();
    while (Ch != ' ' && Ch != CR && Ch != kEofChar && Ch != '%' && Ch != '>') {
      text += Ch;
      GetCh();
    }
    SkipWhiteSpace();
    value = AttributeNumber(text);
    if (LCh == '%') {
      text += '%';
      GetCh();
    }
  } else {
    while (LCh != ' ' && LCh != CR && LCh != '>' && LCh != kEofChar) {
      text += LCh;
      GetCh();
    }
  }
  return true;
}

void ReadTag() {
  GetCh();
  bool endTag = LCh == '/';
  if (endTag) GetCh();
  while (IsUpperLetter(Ch)) {
    Append(LCToken, Ch, kTokenLimit);
    GetCh();
  }
  Sy = UnknownTagSy;
  bool keeps = false;
  for (int i = 0; i < kTagCount; ++i) {
    if (LCToken == kTags[i].Name) {
      if (!endTag) {
        Sy = kTags[i].Kind;
        keeps = kTags[i].KeepsAttributes;
      } else if (i < kTagsWithEnd) {
        // End tags carry no attributes the parser looks at.
        Sy = static_cast<Symb>(kTags[i].Kind + kEndOffset);
      }
      break;
    }
  }
  SkipWhiteSpace();
  HeadingLevel = 0;
  if ((Sy == HeadingSy || Sy == HeadingEndSy) && LCh >= '1' && LCh <= '6') {
    HeadingLevel = LCh - '0';
    GetCh();
  }
  // Other tags' attributes are read all the same, so that a ">" inside a
  // quoted value does not end the tag.
  bool store = keeps && Attributes != nullptr;
  if (store) Attributes->Clear();
  Symb kind;
  int value;
  std::string text;
  while (ReadAttribute(kind, value, text))
    if (store) Attributes->AddAttribute(kind, value, text);
  while (LCh != '>' && LCh != kEofChar) GetCh();
  if (LCh == '>') GetCh();
}

}  // namespace

void UseTextFile(const std::string& fileName) {
  CloseTextFile();
  textFile.file = std::fopen(fileName.c_str(), "rb");
  if (!textFile.file) throw EFOpenError("Cannot open file " + fileName);
  textFile.len = textFile.pos = 0;
  SourceKind = skTextFile;
}

void CloseTextFile() {
  if (textFile.file) std::fclose(textFile.file);
  textFile.file = nullptr;
  textFile.len = textFile.pos = 0;
}

void UseBuffer(const char* start, const char* end) {
  bufPos = start;
  bufEnd = end;
  SourceKind = skBuffer;
}

void UseStrings(const TStrings* list) {
  strings = list;
  stringsLine = 0;
  stringsPos = 0;
  stringsFetched = false;
  stringsCurrent.clear();
  SourceKind = skStrings;
}

void UseStream(TStream* s) {
  stream = s;
  streamLen = streamPos = 0;
  SourceKind = skStream;
}

void ResetScanner() {
  savedCh = 0;
  inComment = false;
  InPre = false;
  NoComment = false;
  HeadingLevel = 0;
  LCToken.clear();
  Sy = EofSy;
  LCh = Ch = kEofChar;
}

void GetCh() {
  for (;;) {
    RawCh();
    if (LCh != '<' || NoComment) return;
    // After RawCh gave "<" nothing is saved, so this reads the next one.
    char c = ReadSource();
    if (c != '!') {
      savedCh = c;
      return;
    }
    SkipComment();
  }
}

void SkipWhiteSpace() {
  while (LCh == ' ' || LCh == CR) GetCh();
}

void Next() {
  LCToken.clear();
  if (LCh == kEofChar) {
    Sy = EofSy;
    return;
  }
  if (LCh == '<') {
    ReadTag();
    return;
  }
  if (LCh == '&') {
    LCToken = ReadEntity();
    Sy = TextSy;
    return;
  }
  while (LCToken.size() < kRunLimit && InTextRun(LCh)) {
    if (!InPre && (LCh == ' ' || LCh == CR)) {
      LCToken += ' ';
      GetCh();
      SkipWhiteSpace();
    } else {
      LCToken += LCh;
      GetCh();
    }
  }
  if (!LCToken.empty()) {
    Sy = TextSy;
    return;
  }
  LCToken = std::string(1, LCh);
  Sy = OtherCharSy;
  GetCh();
}

void NextPre() {
  LCToken.clear();
  if (LCh == kEofChar) {
    Sy = EofSy;
    return;
  }
  if (LCh == CR) {
    Sy = EolSy;
    GetCh();
    return;
  }
  if (LCh == '<') {
    // Bounded by the token's size: what is left over comes back as text.
    LCToken += LCh;
    GetCh();
    while (LCToken.size() < kTokenLimit && LCh != ' ' && LCh != CR &&
           LCh != '>' && LCh != kEofChar) {
      LCToken += LCh;
      GetCh();
    }
    Sy = SameText(LCToken, "</textarea") ? TextAreaCloseSy : UnknownTagSy;
    return;
  }
  while (LCToken.size() < kRunLimit && LCh != CR && LCh != kEofChar && LCh != '<') {
    LCToken += LCh;
    GetCh();
  }
  Sy = TextSy;
}

bool ColorFromString(const std::string& s, TColor& color) {
  struct Named {
    const char* Name;
    TColor Value;
  };
  static const Named kColors[16] = {
      {"BLACK", 0x000000},  {"MAROON", 0x000080}, {"GREEN", 0x008000},   {"OLIVE", 0x008080},
      {"NAVY", 0x800000},   {"PURPLE", 0x800080}, {"TEAL", 0x808000},    {"GRAY", 0x808080},
      {"SILVER", 0xC0C0C0}, {"RED", 0x0000FF},    {"LIME", 0x00FF00},    {"YELLOW", 0x00FFFF},
      {"BLUE", 0xFF0000},   {"FUCHSIA", 0xFF00FF}, {"AQUA", 0xFFFF00},   {"WHITE", 0xFFFFFF},
  };
  if (s.empty()) return false;
  std::string u = UpperCase(s.substr(0, 10));
  for (const Named& n : kColors)
    if (u == n.Name) {
      color = n.Value;
      return true;
    }
  size_t hash = u.find('#');
  if (hash != std::string::npos) u.erase(hash, 1);
  if (u.empty()) return false;
  uint64_t v = 0;
  for (char c : u) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * 16 + static_cast<uint64_t>(d);
  }
  // Bits above RRGGBB would land in a TColor's system and palette flags.
  if (v > 0xFFFFFF) return false;
  color = static_cast<TColor>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
  return true;
}

bool PushNewFont() {
  if (FontStackDepth >= kMaxFontStack) return false;
  auto* font = new htmlsubs::TMyFont;
  if (FontStackDepth > 0) font->Assign(*FontStack[FontStackDepth - 1]);
  FontStack[FontStackDepth++] = font;
  return true;
}

void PopFont() {
  if (FontStackDepth > 1) {
    delete FontStack[--FontStackDepth];
    FontStack[FontStackDepth] = nullptr;
  }
}

void FreeFontStack() {
  while (FontStackDepth > 0) {
    delete FontStack[--FontStackDepth];
    FontStack[FontStackDepth] = nullptr;
  }
}

}  // namespace readhtml
