#include "htmlparse.h"

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "htmlforms.h"
#include "htmlmap.h"
#include "htmlscan.h"
#include "htmltables.h"
#include "htmltext.h"

namespace readhtml {

std::string Title;
std::string Base;
std::string BaseTarget;
TScriptEvent OnScript;

namespace {

using htmlsubs::CurrentForm;
using htmlsubs::TCell;
using htmlsubs::TMyFont;
using htmlsubs::TSection;
using htmlsubs::TSectionList;
using htmlun2::TAttribute;
using htmlun2::TAttributeList;
using htmlun2::TUrlTarget;

using SymSet = std::bitset<256>;

// Font scale values by size index 1-7, and of the headings H1-H6.
const int kPropSizes[7] = {8, 10, 12, 14, 18, 24, 36};
const int kFixedSizes[7] = {7, 8, 10, 12, 15, 20, 30};
const int kHeadingSizes[6] = {24, 18, 15, 12, 10, 8};

const char CR = 13;
const int kMaxOptionText = 80;
const int kPreChunk = 200;
const size_t kScriptStart = 32500;
const size_t kScriptGrowth = 10000;

TSectionList* MasterList = nullptr;
TCell* CurrentCell = nullptr;
TSection* Section = nullptr;
int Justify = 1;
int BaseFontSize = 3;
int ListLevel = 0;
TUrlTarget* UrlTarget = nullptr;
bool InHref = false;
// The open link pushed a font of its own (not when the stack was full).
bool LinkFontPushed = false;
TStringList* NameList = nullptr;
TFontStyles CurrentStyle = 0;
int CurrentSScript = 0;
int NestLevel = 0;
// Tables whose start tags were skipped at the limit and whose end tags are
// still to come: their row and cell tags are out of place too.
int SkippedTables = 0;
// Counts tokens read, so that a loop can tell whether a pass consumed one.
uint64_t TokenSerial = 0;

void NextToken() {
  ++TokenSerial;
  Next();
}

SymSet Syms(std::initializer_list<Symb> list) {
  SymSet s;
  for (Symb x : list) s.set(x);
  return s;
}

bool IsListEnd(Symb s) {
  return s == OLEndSy || s == ULEndSy || s == DirEndSy || s == MenuEndSy || s == DLEndSy || s == BlockQuoteEndSy;
}

struct LevelGuard {
  explicit LevelGuard(int& level) : level_(level) { ++level_; }
  ~LevelGuard() { --level_; }
  LevelGuard(const LevelGuard&) = delete;
  LevelGuard& operator=(const LevelGuard&) = delete;
  int& level_;
};

// Only meaningful right after a tag that keeps its attributes.
TAttribute* Attr(Symb kind) {
  TAttribute* a = nullptr;
  if (Attributes && Attributes->Find(kind, a)) return a;
  return nullptr;
}

std::string AttrText(Symb kind) {
  TAttribute* a = Attr(kind);
  return a ? a->Name : std::string();
}

int JustifyFrom(const std::string& align, int otherwise) {
  if (SameText(align, "left")) return 1;
  if (SameText(align, "center")) return 2;
  if (SameText(align, "right")) return 3;
  return otherwise;
}

TMyFont& TopFont() { return *FontStack[FontStackDepth - 1]; }

// The top font as text is drawn in it: the style tags in force added.
void DrawFont(TMyFont& f) {
  f.Assign(TopFont());
  f.SetStyle(f.Style() | CurrentStyle);
}

const TUrlTarget* LinkNow() { return InHref ? UrlTarget : nullptr; }

// The open section takes the font and link now in force.
void SwitchSection() {
  if (!Section) return;
  TMyFont f;
  DrawFont(f);
  Section->SwitchFont(f, CurrentSScript);
  htmlsubs::TFontObj* run = Section->Runs.Run(Section->Runs.Count() - 1);
  if (InHref) run->Link.Assign(UrlTarget->URL, UrlTarget->Target);
  else run->Link.Clear();
}

void SectionDone();

// Every new section starts in normal script: a SUP or SUB left open does
// not carry over a break, a paragraph, a cell or a list item.
void Open(TSection* section) {
  Section = section;
  CurrentSScript = 0;
}

// Never drops an open section: it joins its cell first.
void NewSection(int justify) {
  SectionDone();
  TMyFont f;
  DrawFont(f);
  Open(new TSection(MasterList, ListLevel, f, LinkNow(), justify));
}

void NewSection() { NewSection(Justify); }

void SectionDone() {
  if (!Section) return;
  TSection* s = Section;
  Section = nullptr;
  CurrentCell->Add(s);
}

void EnsureSection() {
  if (!Section) NewSection();
}

void SetPreFont() {
  TMyFont& f = TopFont();
  f.PreFace = true;
  f.SetName(MasterList->DefaultPreFace);
  f.SetScaleSize(*MasterList, 10);
}

// SIZE of FONT and BASEFONT: "+n" and "-n" relative to the base size, a
// plain number absolute; held to 1-7.  False when there is no number.
bool FontSizeIndex(int& index) {
  TAttribute* a = Attr(SizeAttr);
  if (!a || a->Name.empty()) return false;
  char c = a->Name[0];
  // Held before adding, so that no value can overflow the sum.
  const int value = a->Value < -100 ? -100 : a->Value > 100 ? 100 : a->Value;
  if (c == '+' || c == '-') index = BaseFontSize + value;
  else if (c >= '0' && c <= '9') index = value;
  else return false;
  if (index < 1) index = 1;
  if (index > 7) index = 7;
  return true;
}

// The attributes of FONT or BASEFONT onto the top font; false when none
// applies.  With apply false only the test is made.
bool ApplyFontAttributes(bool apply) {
  int index = 0;
  bool sized = FontSizeIndex(index);
  TColor color = 0;
  bool colored = ColorFromString(AttrText(ColorAttr), color);
  std::string face = AttrText(FaceAttr);
  size_t comma = face.find(',');
  if (comma != std::string::npos) face.erase(comma);
  face = Trim(face).substr(0, 31);
  bool any = sized || colored || !face.empty();
  if (!any || !apply) return any;
  TMyFont& f = TopFont();
  if (sized) f.SetScaleSize(*MasterList, (f.PreFace ? kFixedSizes : kPropSizes)[index - 1]);
  if (colored) f.SetColor(color | htmlsubs::PaletteRelative);
  if (!face.empty()) f.SetName(face);
  return true;
}

void EndLink() {
  UrlTarget->Clear();
  InHref = false;
  if (LinkFontPushed) PopFont();
  LinkFontPushed = false;
  SwitchSection();
}

void AddImage() {
  EnsureSection();
  Section->InsertImage(Attributes);
}

// ---------------------------------------------------------------------------
// Raw-text readers: each stops at end of input.

// After a SCRIPT tag: up to and past "</script>" (any case).
void DoScript(bool deliver) {
  std::string language = AttrText(LanguageAttr);
  const bool want = deliver && static_cast<bool>(OnScript);
  std::string text;
  if (want) text.reserve(kScriptStart);
  auto add = [&](const std::string& s) {
    if (!want) return;
    if (text.size() + s.size() > text.capacity()) text.reserve(text.capacity() + kScriptGrowth + s.size());
    text += s;
  };
  NoComment = true;
  while (LCh != kEofChar) {
    if (LCh == CR) {
      add("\r\n");
      GetCh();
    } else if (LCh == '<') {
      std::string tag(1, '<');
      GetCh();
      if (LCh == '/') {
        tag += '/';
        GetCh();
        for (int n = 0; n < 7 && ((Ch >= 'A' && Ch <= 'Z')); ++n) {
          tag += LCh;
          GetCh();
        }
        if (LCh == '>' && SameText(tag, "</script")) {
          NoComment = false;
          GetCh();
          break;
        }
      }
      add(tag);
    } else {
      std::string run;
      while (LCh != kEofChar && LCh != CR && LCh != '<') {
        run += LCh;
        GetCh();
      }
      add(run);
    }
  }
  NoComment = false;
  if (want) OnScript(language, text);
}

// After a TEXTAREA tag: the lines up to the closing tag, which is read past.
template <typename AddLine>
void ReadTextArea(AddLine addLine) {
  NoComment = true;
  std::string line;
  for (;;) {
    NextPre();
    if (Sy == EofSy) break;
    if (Sy == EolSy) {
      addLine(line);
      line.clear();
    } else if (Sy == TextAreaCloseSy) {
      NoComment = false;
      while (LCh != '>' && LCh != kEofChar) GetCh();
      if (LCh == '>') GetCh();
      break;
    } else {
      line += LCToken;
    }
  }
  if (!line.empty()) addLine(line);
  NoComment = false;
}

// After a SELECT tag: its options, up to the SELECT end tag (left current)
// or end of input.
template <typename AddOption>
void ReadOptions(AddOption addOption) {
  bool inOption = false, selected = false;
  std::string text, value;
  auto finish = [&]() {
    if (inOption) addOption(Trim(text), value, selected);
    inOption = false;
  };
  NextToken();
  while (Sy != SelectEndSy && Sy != EofSy) {
    if (Sy == OptionSy) {
      finish();
      inOption = true;
      selected = Attr(SelectedAttr) != nullptr;
      value = AttrText(ValueAttr).substr(0, kMaxOptionText);
      text.clear();
    } else if (Sy == OptionEndSy) {
      finish();
    } else if (Sy == TextSy && inOption) {
      text += LCToken;
      if (text.size() > kMaxOptionText) text.resize(kMaxOptionText);
    }
    NextToken();
  }
  finish();
}

// After a MAP tag: its areas up to the MAP end tag (left current).
void DoMap() {
  std::unique_ptr<htmlun2::TMapItem> map(new htmlun2::TMapItem);
  map->MapName = UpperCase(AttrText(NameAttr));
  const htmlun2::TAreaKinds kinds = {HrefAttr, TargetAttr, CoordsAttr, ShapeAttr};
  NextToken();
  while (Sy != MapEndSy && Sy != EofSy) {
    if (Sy == AreaSy) map->AddArea(*Attributes, kinds);
    NextToken();
  }
  if (Sy == MapEndSy) MasterList->ImageMaps.Add(map.release());
}

// ---------------------------------------------------------------------------
// Handlers

void DoBody(const SymSet& term);
void DoTable();

void StyleTag(TFontStyles style, bool on) {
  if (on) CurrentStyle |= style;
  else CurrentStyle &= ~style;
  SwitchSection();
}

// The tags that act on the current token alone (or read a self-contained
// construct) and leave the token current; the caller moves on.  inPre
// limits them to those a preformatted block honours.
bool InlineTag(bool inPre) {
  switch (Sy) {
    case BSy: case StrongSy: StyleTag(fsBold, true); return true;
    case BEndSy: case StrongEndSy: StyleTag(fsBold, false); return true;
    case ISy: case EmSy: case CiteSy: case VarSy: StyleTag(fsItalic, true); return true;
    case IEndSy: case EmEndSy: case CiteEndSy: case VarEndSy: StyleTag(fsItalic, false); return true;
    case USy: StyleTag(fsUnderline, true); return true;
    case UEndSy: StyleTag(fsUnderline, false); return true;
    case SSy: case StrikeSy: StyleTag(fsStrikeOut, true); return true;
    case SEndSy: case StrikeEndSy: StyleTag(fsStrikeOut, false); return true;
    case SubSy: case SupSy:
      CurrentSScript = Sy == SubSy ? 1 : 2;
      SwitchSection();
      return true;
    case SubEndSy: case SupEndSy:
      CurrentSScript = 0;
      SwitchSection();
      return true;
    case TTSy: case CodeSy: case KbdSy: case SampSy:
      if (PushNewFont()) {
        SetPreFont();
        SwitchSection();
      }
      return true;
    case TTEndSy: case CodeEndSy: case KbdEndSy: case SampEndSy: case FontEndSy: case BigEndSy: case SmallEndSy:
      PopFont();
      SwitchSection();
      return true;
    case BigSy: case SmallSy: {
      const TMyFont& top = TopFont();
      const int* table = top.PreFace ? kFixedSizes : kPropSizes;
      int index = 7;
      for (int i = 1; i <= 7; ++i)
        if (table[i - 1] >= top.ScaleSize) {
          index = i;
          break;
        }
      int to = Sy == BigSy ? (index <= 6 ? index + 1 : 0) : (index >= 2 ? index - 1 : 0);
      if (to != 0 && PushNewFont()) {
        TopFont().SetScaleSize(*MasterList, table[to - 1]);
        SwitchSection();
      }
      return true;
    }
    case FontSy:
      if (ApplyFontAttributes(false) && PushNewFont()) {
        ApplyFontAttributes(true);
        SwitchSection();
      }
      return true;
    case ASy:
      for (int i = 0; Attributes && i < Attributes->Count(); ++i) {
        TAttribute* a = Attributes->Attr(i);
        if (a->Which == HrefAttr) {
          if (InHref) EndLink();
          if (!a->Name.empty()) {
            UrlTarget->URL = a->Name;
            TAttribute* t = Attr(TargetAttr);
            if (t) UrlTarget->Target = t->Name;
            InHref = true;
            // With the stack full the link keeps the font in force.
            LinkFontPushed = PushNewFont();
            if (LinkFontPushed) {
              TMyFont& f = TopFont();
              f.SetStyle(f.Style() | fsUnderline);
              f.SetColor(MasterList->LinkColor | htmlsubs::PaletteRelative);
            }
            EnsureSection();
            SwitchSection();
          }
        } else if (a->Which == NameAttr && !a->Name.empty()) {
          EnsureSection();
          if (NameList) NameList->AddObject(UpperCase(a->Name), Section);
        }
      }
      return true;
    case AEndSy:
      if (InHref) EndLink();
      return true;
    case ImageSy:
      AddImage();
      return true;
    case FormSy:
      CurrentForm = new htmlsubs::ThtmlForm(MasterList, Attributes);
      return true;
    case FormEndSy:
      CurrentForm = nullptr;
      return true;
    case InputSy:
      EnsureSection();
      htmlsubs::MakeFormControl(*Section, InputSy, Attributes);
      return true;
    case SelectSy: {
      EnsureSection();
      auto* list = static_cast<htmlsubs::TListBoxFormControlObj*>(htmlsubs::MakeFormControl(*Section, SelectSy, Attributes));
      ReadOptions([&](const std::string& text, const std::string& value, bool selected) {
        list->AddStr(text, value, selected);
      });
      list->ResetToValue();
      return true;
    }
    case TextAreaSy: {
      EnsureSection();
      auto* area = static_cast<htmlsubs::TTextAreaFormControlObj*>(htmlsubs::MakeFormControl(*Section, TextAreaSy, Attributes));
      ReadTextArea([&](const std::string& line) { area->TheText.Add(line); });
      area->ResetToValue();
      return true;
    }
    case MapSy:
      DoMap();
      return true;
    case PageSy:
      SectionDone();
      CurrentCell->Add(new htmlsubs::TPage(MasterList));
      return true;
    default:
      break;
  }
  if (inPre) return false;
  switch (Sy) {
    case TextSy:
      EnsureSection();
      Section->AppendText(LCToken);
      return true;
    case BaseFontSy:
      if (CurrentCell == MasterList && MasterList->Count() == 0 && (!Section || Section->Text.empty())) {
        int index;
        if (FontSizeIndex(index)) BaseFontSize = index;
        if (ApplyFontAttributes(true)) SwitchSection();
      }
      return true;
    case HeadingSy: {
      if (FontStackDepth >= kMaxFontStack) return true;
      int level = HeadingLevel;
      int justify = JustifyFrom(AttrText(AlignAttr), Justify);
      SectionDone();
      PushNewFont();
      TMyFont& f = TopFont();
      if (level >= 1 && level <= 6) {
        f.SetScaleSize(*MasterList, kHeadingSizes[level - 1]);
        f.SetStyle(f.Style() | fsBold);
      } else {
        f.SetScaleSize(*MasterList, 12);
      }
      CurrentCell->Add(new htmlsubs::THeadingSpace(MasterList, level));
      NewSection(justify);
      return true;
    }
    case HeadingEndSy:
      if (FontStackDepth <= 1) return true;
      SectionDone();
      CurrentCell->Add(new htmlsubs::THeadingSpace(MasterList, HeadingLevel));
      PopFont();
      NewSection();
      return true;
    case BRSy: {
      int justify = Section ? Section->Alignment : Justify;
      SectionDone();
      NewSection(justify);
      if (TAttribute* a = Attr(ClearAttr)) Section->SetClearSide(a->Name);
      return true;
    }
    case AddressSy: {
      SectionDone();
      TMyFont& f = TopFont();
      f.SetStyle(f.Style() | fsItalic);
      NewSection();
      return true;
    }
    case AddressEndSy:
      SectionDone();
      return true;
    case ScriptSy:
      DoScript(true);
      return true;
    default:
      return false;
  }
}

// P and P end, with the P tags and spaces that follow at once.
void DoParagraph() {
  int justify = Justify;
  SectionDone();
  CurrentCell->Add(new htmlsubs::TParagraphSpace(MasterList));
  while (Sy == PSy || Sy == PEndSy) {
    if (Sy == PSy) justify = JustifyFrom(AttrText(AlignAttr), Justify);
    NextToken();
    while (Sy == TextSy && LCToken == " ") NextToken();
  }
  NewSection(justify);
}

void PreLineEnd(const TMyFont& font) {
  SectionDone();
  Open(new htmlsubs::TPreFormated(MasterList, ListLevel, font, LinkNow(), 1));
}

void DoPre() {
  SectionDone();
  bool pushed = PushNewFont();
  if (pushed) SetPreFont();
  TMyFont font;
  DrawFont(font);
  Open(new htmlsubs::TPreFormated(MasterList, ListLevel, font, LinkNow(), 1));
  InPre = true;
  std::string line;
  auto flush = [&]() {
    if (!line.empty()) Section->AppendText(line);
    line.clear();
  };
  while (LCh != kEofChar) {
    if (LCh == CR) {
      flush();
      DrawFont(font);
      PreLineEnd(font);
      GetCh();
    } else if (LCh == '&') {
      NextToken();
      line += LCToken;
    } else if (LCh == '<') {
      flush();
      NextToken();
      if (Sy == PreEndSy || Sy == EofSy) break;
      if (Sy == BRSy || Sy == PSy || Sy == PEndSy) {
        DrawFont(font);
        PreLineEnd(font);
        if (LCh == CR) GetCh();
        continue;
      }
      InlineTag(true);
      if (!Section) {
        DrawFont(font);
        Open(new htmlsubs::TPreFormated(MasterList, ListLevel, font, LinkNow(), 1));
      }
    } else {
      line += LCh;
      if (static_cast<int>(line.size()) > kPreChunk) flush();
      GetCh();
    }
  }
  flush();
  SectionDone();
  InPre = false;
  if (pushed) PopFont();
  NextToken();
}

// Text, inline and block tags that may stand anywhere in a flow; false when
// the current token is none of them.
bool DoInline() {
  switch (Sy) {
    case PSy: case PEndSy:
      DoParagraph();
      return true;
    case PreSy:
      DoPre();
      return true;
    case TableSy:
      DoTable();
      return true;
    default:
      if (!InlineTag(false)) return false;
      NextToken();
      return true;
  }
}

void StartList(int level, const SymSet& term);

void DoLists(int level, Symb kind, const SymSet& term) {
  LevelGuard guard(NestLevel);
  int number = 1;
  char numberStyle = '1';
  bool plain = false;
  if (kind == OLSy) {
    if (TAttribute* a = Attr(StartAttr))
      if (a->Value >= 0) number = a->Value;
    std::string type = AttrText(TypeAttr);
    if (!type.empty()) numberStyle = type[0];
  } else if (kind == ULSy) {
    plain = Attr(PlainAttr) != nullptr;
  }
  SectionDone();
  const int savedLevel = ListLevel;
  ListLevel = level;
  NextToken();
  while (Sy != EofSy && !IsListEnd(Sy) && !term[Sy]) {
    const uint64_t before = TokenSerial;
    TMyFont f;
    switch (Sy) {
      case LISy:
        SectionDone();
        DrawFont(f);
        if (kind == OLSy) {
          Open(new htmlsubs::TOListItem(MasterList, level, number, numberStyle, f, LinkNow()));
          if (number < INT32_MAX) ++number;
        } else {
          auto* item = new htmlsubs::TUListItem(MasterList, level, f, LinkNow());
          item->HideBullet = plain;
          Open(item);
        }
        NextToken();
        while (Sy == TextSy && LCToken == " ") NextToken();
        if (Sy == PSy) NextToken();
        break;
      case DDSy: case DTSy:
        SectionDone();
        DrawFont(f);
        Open(new htmlsubs::TDListItem(MasterList, Sy == DDSy ? level : level - 1, f, LinkNow()));
        NextToken();
        break;
      case OLSy: case ULSy: case DirSy: case MenuSy: case DLSy: case BlockQuoteSy:
        StartList(level + 1, term);
        break;
      case HRSy:
        SectionDone();
        CurrentCell->Add(new htmlsubs::THorzLine(MasterList, Attributes));
        NextToken();
        break;
      default:
        if (!DoInline()) NextToken();
    }
    if (TokenSerial == before) NextToken();
  }
  SectionDone();
  ListLevel = savedLevel;
}

// A list start tag; the list ends at any list end tag, which is read past.
void StartList(int level, const SymSet& term) {
  if (NestLevel >= kMaxNestLevel) {
    NextToken();
    return;
  }
  DoLists(level, Sy, term);
  if (IsListEnd(Sy)) NextToken();
}

void DoDivision(const SymSet& term) {
  if (NestLevel >= kMaxNestLevel) {
    NextToken();
    return;
  }
  LevelGuard guard(NestLevel);
  const Symb kind = Sy;
  const Symb endTag = kind == CenterSy ? CenterEndSy : DivEndSy;
  SectionDone();
  const int saved = Justify;
  Justify = kind == CenterSy ? 2 : JustifyFrom(AttrText(AlignAttr), Justify);
  NewSection();
  NextToken();
  SymSet inner = term;
  inner.set(endTag);
  DoBody(inner);
  SectionDone();
  Justify = saved;
  NewSection();
  if (Sy == endTag) NextToken();
}

void DoBodyTag() {
  if (CurrentCell->Count() > 0 || (Section && !Section->Text.empty())) return;
  TColor c;
  if (ColorFromString(AttrText(TextAttr), c)) {
    TopFont().SetColor(c | htmlsubs::PaletteRelative);
    MasterList->DefaultColor = c;
  }
  if (ColorFromString(AttrText(LinkAttr), c)) MasterList->LinkColor = c;
  if (ColorFromString(AttrText(BGColorAttr), c)) MasterList->SetBackground(c);
  std::string image = AttrText(BackgroundAttr);
  if (!image.empty()) MasterList->SetBackImage(image);
  // The empty section opened before BODY gives way to one in BODY's colours;
  // anchors named in it (<a name=top> before BODY) now stand at the new one.
  TSection* old = Section;
  Section = nullptr;
  NewSection();
  if (old && NameList)
    for (int i = 0; i < NameList->Count(); ++i)
      if (NameList->Objects(i) == old) NameList->PutObject(i, Section);
  delete old;
}

void DoBody(const SymSet& term) {
  while (Sy != EofSy && Sy != BodyEndSy && !term[Sy]) {
    switch (Sy) {
      case TitleSy:
        Title.clear();
        NextToken();
        while (Sy == TextSy) {
          Title += LCToken;
          NextToken();
        }
        break;
      case BodySy:
        DoBodyTag();
        NextToken();
        break;
      case HRSy:
        SectionDone();
        CurrentCell->Add(new htmlsubs::THorzLine(MasterList, Attributes));
        NextToken();
        break;
      case BaseSy:
        if (TAttribute* a = Attr(HrefAttr)) Base = a->Name;
        if (TAttribute* a = Attr(TargetAttr)) BaseTarget = a->Name;
        NextToken();
        break;
      case OLSy: case ULSy: case DirSy: case MenuSy: case DLSy:
        StartList(1, term);
        break;
      case BlockQuoteSy:
        SectionDone();
        StartList(1, term);
        break;
      case CenterSy: case DivSy:
        DoDivision(term);
        break;
      case TableEndSy:
        if (SkippedTables > 0) --SkippedTables;
        NextToken();
        break;
      default:
        if (!DoInline()) NextToken();
    }
  }
}

// ---------------------------------------------------------------------------
// Tables

int VAlignFrom(const std::string& v, int otherwise) {
  if (SameText(v, "top")) return 0;
  if (SameText(v, "middle")) return 1;
  if (SameText(v, "bottom")) return 2;
  return otherwise;
}

bool IsTableTag(Symb s) {
  switch (s) {
    case TDSy: case THSy: case TRSy: case TDEndSy: case THEndSy: case CaptionSy: case CaptionEndSy:
      return true;
    default:
      return false;
  }
}

void DoTable() {
  if (NestLevel >= kMaxNestLevel) {
    ++SkippedTables;
    NextToken();
    return;
  }
  const int outerSkipped = SkippedTables;
  SkippedTables = 0;
  LevelGuard nest(NestLevel);
  SectionDone();
  const int savedDepth = FontStackDepth;
  const TFontStyles savedStyle = CurrentStyle;
  const int savedJustify = Justify;
  TCell* host = CurrentCell;
  std::unique_ptr<htmlsubs::ThtmlTable> table(
      new htmlsubs::ThtmlTable(MasterList, ListLevel, host, Justify, Attributes));
  table->AddRow();
  int rowAlign = 0, rowVAlign = 1;
  const SymSet cellTerm =
      Syms({TableEndSy, TDSy, TDEndSy, TRSy, THSy, THEndSy, CaptionSy, CaptionEndSy});
  // The cell being filled: a grid cell until it joins its row, or the caption.
  std::unique_ptr<htmlsubs::TCellObj> cell;
  bool inCaption = false;
  auto endCell = [&]() {
    if (cell || inCaption) SectionDone();
    if (cell) table->AddCell(cell.release());
    inCaption = false;
    CurrentCell = host;
  };
  NextToken();
  while (Sy != EofSy) {
    const uint64_t before = TokenSerial;
    if (SkippedTables > 0 && (Sy == TableEndSy || IsTableTag(Sy))) {
      // A tag of a table past the limit: read past it; the content goes on
      // into the cell being filled.
      if (Sy == TableEndSy) --SkippedTables;
      NextToken();
      if (cell || inCaption) DoBody(cellTerm);
      continue;
    }
    if (Sy == TableEndSy) break;
    switch (Sy) {
      case TDSy: case THSy: {
        endCell();
        const bool th = Sy == THSy;
        Justify = rowAlign != 0 ? rowAlign : th ? 2 : 1;
        if (th) CurrentStyle |= fsBold;
        else CurrentStyle &= ~fsBold;
        Justify = JustifyFrom(AttrText(AlignAttr), Justify);
        const int vAlign = VAlignFrom(AttrText(VAlignAttr), rowVAlign);
        cell.reset(new htmlsubs::TCellObj(MasterList, Attributes, vAlign));
        CurrentCell = &cell->Cell;
        NextToken();
        while (Sy == TextSy && LCToken == " ") NextToken();
        if (Sy == PSy) {
          Justify = JustifyFrom(AttrText(AlignAttr), Justify);
          NextToken();
        }
        NewSection();
        DoBody(cellTerm);
        break;
      }
      case TDEndSy: case THEndSy: case CaptionEndSy:
        endCell();
        NextToken();
        break;
      case TRSy: {
        endCell();
        htmlsubs::TCellList* last = table->Row(table->Rows.Count() - 1);
        if (last->Count() > 0) table->AddRow(Attributes);
        else last->ReadAttributes(Attributes);
        rowAlign = JustifyFrom(AttrText(AlignAttr), 0);
        rowVAlign = VAlignFrom(AttrText(VAlignAttr), 1);
        NextToken();
        break;
      }
      case CaptionSy:
        endCell();
        while (FontStackDepth > savedDepth) PopFont();
        CurrentStyle = savedStyle;
        table->CaptionTop = !SameText(AttrText(AlignAttr), "bottom");
        inCaption = true;
        CurrentCell = &table->Caption->Cell;
        Justify = 2;
        NextToken();
        NewSection();
        DoBody(cellTerm);
        break;
      default:
        if (!cell && !inCaption) {
          // Content outside any cell stays in the cell that holds the table.
          if (Sy == TextSy && LCToken == " ") {
            NextToken();
            break;
          }
          DoBody(cellTerm);
        } else {
          NextToken();
        }
    }
    if (TokenSerial == before) NextToken();
  }
  endCell();
  while (FontStackDepth > savedDepth) PopFont();
  CurrentCell = host;
  // A trailing row that never got a cell adds nothing.
  htmlsubs::TCellList* last = table->Row(table->Rows.Count() - 1);
  if (last->Count() == 0 && table->Rows.Count() > 1) {
    table->Rows.Delete(table->Rows.Count() - 1);
    delete last;
  }
  host->Add(table.release());
  CurrentStyle = savedStyle;
  Justify = savedJustify;
  SkippedTables = outerSkipped;
  NextToken();
}

// ---------------------------------------------------------------------------
// Plain text

void DoText() {
  SectionDone();
  bool pushed = PushNewFont();
  if (pushed) SetPreFont();
  TMyFont font;
  DrawFont(font);
  InPre = true;
  // A text file is text through and through: "<!" starts no comment.
  NoComment = true;
  Open(new htmlsubs::TPreFormated(MasterList, 0, font, nullptr, 1));
  std::string line;
  while (LCh != kEofChar) {
    if (LCh == CR) {
      Section->AppendText(line);
      line.clear();
      SectionDone();
      Open(new htmlsubs::TPreFormated(MasterList, 0, font, nullptr, 1));
    } else {
      line += LCh;
      if (static_cast<int>(line.size()) > kPreChunk) {
        Section->AppendText(line);
        line.clear();
      }
    }
    GetCh();
  }
  Section->AppendText(line);
  SectionDone();
  InPre = false;
  NoComment = false;
  if (pushed) PopFont();
}

// ---------------------------------------------------------------------------
// Entries

void ClearDocument(TSectionList* doc) { doc->Clear(); }

void Initialise(TSectionList* doc, TStringList* nameList) {
  MasterList = doc;
  CurrentCell = doc;
  NameList = nameList;
  ResetScanner();
  FreeFontStack();
  PushNewFont();
  TMyFont& f = TopFont();
  f.PreFace = false;
  f.SetName(doc->DefaultFace);
  f.SetColor(doc->DefaultColor | htmlsubs::PaletteRelative);
  f.SetScaleSize(*doc, 12);
  UrlTarget = new TUrlTarget;
  InHref = false;
  LinkFontPushed = false;
  BaseFontSize = 3;
  Justify = 1;
  ListLevel = 0;
  CurrentStyle = 0;
  CurrentSScript = 0;
  NestLevel = 0;
  SkippedTables = 0;
  Section = nullptr;
  // A form left open by an earlier page belongs to that page's document.
  CurrentForm = nullptr;
  NewSection();
  Attributes = new TAttributeList;
  Title.clear();
  Base.clear();
  BaseTarget.clear();
}

// Frees the parser's state; the open section joins its cell only after a
// parse that ran to its end.
void Release(bool complete) {
  delete Attributes;
  Attributes = nullptr;
  if (complete) {
    SectionDone();
  } else {
    delete Section;
    Section = nullptr;
  }
  FreeFontStack();
  delete UrlTarget;
  UrlTarget = nullptr;
  CurrentForm = nullptr;
  InHref = false;
  InPre = false;
  NoComment = false;
  MasterList = nullptr;
  CurrentCell = nullptr;
  NameList = nullptr;
}

template <typename Source>
void Parse(TSectionList* doc, TStringList* nameList, bool plainText, Source setSource) {
  if (nameList) nameList->Clear();
  Initialise(doc, nameList);
  try {
    setSource();
    GetCh();
    if (plainText) {
      DoText();
    } else {
      NextToken();
      while (Sy != EofSy) {
        DoBody(SymSet());
        if (Sy != EofSy) NextToken();
      }
    }
    Release(true);
  } catch (...) {
    Release(false);
    ClearDocument(doc);
    if (nameList) nameList->Clear();
    throw;
  }
}

}  // namespace

void HtmlParseStream(TSectionList* doc, TStringList* nameList, TStream* stream) {
  Parse(doc, nameList, false, [&]() {
    stream->SetPosition(0);
    UseStream(stream);
  });
}

void HtmlParseBuffer(TSectionList* doc, TStringList* nameList, const char* buffer, int length) {
  Parse(doc, nameList, false, [&]() { UseBuffer(buffer, buffer + (length > 0 ? length : 0)); });
}

void HtmlParseStrings(TSectionList* doc, TStringList* nameList, const TStrings* strings) {
  Parse(doc, nameList, false, [&]() { UseStrings(strings); });
}

void HtmlParseFile(TSectionList* doc, TStringList* nameList, const std::string& fileName) {
  try {
    Parse(doc, nameList, false, [&]() { UseTextFile(fileName); });
  } catch (...) {
    CloseTextFile();
    throw;
  }
  CloseTextFile();
}

void HtmlParseTextFile(TSectionList* doc, TStringList* nameList, const std::string& fileName) {
  try {
    Parse(doc, nameList, true, [&]() { UseTextFile(fileName); });
  } catch (...) {
    CloseTextFile();
    throw;
  }
  CloseTextFile();
}

void HtmlParseTextStrings(TSectionList* doc, TStringList* nameList, const TStrings* strings) {
  Parse(doc, nameList, true, [&]() { UseStrings(strings); });
}

// ---------------------------------------------------------------------------
// Frame sets

namespace {

bool IsBodyContent(Symb s) {
  switch (s) {
    case BodySy: case PSy: case HeadingSy: case HRSy: case OLSy: case ULSy: case DirSy: case MenuSy:
    case DLSy: case AddressSy: case BlockQuoteSy: case PreSy: case ImageSy: case TableSy: case FormSy:
      return true;
    default:
      return false;
  }
}

void SkipNoFrames() {
  while (Sy != NoFramesEndSy && Sy != EofSy) NextToken();
  NextToken();
}

void DoFrameSet(TFrameSetBuilder& set) {
  LevelGuard guard(NestLevel);
  while (Sy != FrameSetEndSy && Sy != EofSy) {
    switch (Sy) {
      case FrameSetSy:
        if (NestLevel < kMaxNestLevel) {
          TFrameSetBuilder* sub = set.AddSubFrameSet(*Attributes);
          NextToken();
          DoFrameSet(*sub);
        }
        NextToken();
        break;
      case FrameSy:
        set.AddFrame(*Attributes, Base);
        NextToken();
        break;
      case NoFramesSy:
        SkipNoFrames();
        break;
      default:
        NextToken();
    }
  }
  set.Finish();
}

// Runs body over the file with the scanner's state made and freed.
template <typename Body>
void WithFile(const std::string& fileName, Body body) {
  ResetScanner();
  Attributes = new TAttributeList;
  NestLevel = 0;
  try {
    UseTextFile(fileName);
    GetCh();
    NextToken();
    body();
  } catch (...) {
    CloseTextFile();
    delete Attributes;
    Attributes = nullptr;
    NoComment = false;
    throw;
  }
  CloseTextFile();
  delete Attributes;
  Attributes = nullptr;
}

}  // namespace

bool IsFrameSetFile(const std::string& fileName) {
  bool result = false;
  WithFile(fileName, [&]() {
    while (Sy != EofSy) {
      if (Sy == FrameSetSy) {
        result = true;
        return;
      }
      if (IsBodyContent(Sy)) return;
      if (Sy == ScriptSy) DoScript(false);
      NextToken();
    }
  });
  return result;
}

void FrameSetParse(TFrameSetBuilder& frameSet, const std::string& fileName) {
  Title.clear();
  Base.clear();
  BaseTarget.clear();
  WithFile(fileName, [&]() {
    while (Sy != EofSy && !IsBodyContent(Sy)) {
      switch (Sy) {
        case TitleSy:
          Title.clear();
          NextToken();
          while (Sy == TextSy) {
            Title += LCToken;
            NextToken();
          }
          break;
        case BaseSy:
          if (TAttribute* a = Attr(HrefAttr)) Base = a->Name;
          if (TAttribute* a = Attr(TargetAttr)) BaseTarget = a->Name;
          NextToken();
          break;
        case NoFramesSy:
          SkipNoFrames();
          break;
        case ScriptSy:
          DoScript(true);
          NextToken();
          break;
        case FrameSetSy:
          frameSet.SetAttributes(*Attributes);
          NextToken();
          DoFrameSet(frameSet);
          return;
        default:
          NextToken();
      }
    }
  });
}

}  // namespace readhtml
