// The HTML scanner: turns one character source into the parser's tokens,
// and holds the viewer's fixed vocabulary (tags, attribute names, character
// entities, colour names, Roman numerals).  All its state is global: one
// document is scanned at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "classes.h"
#include "fontdesc.h"
#include "htmlattrs.h"
#include "myfont.h"

namespace readhtml {

MORVANE_EXCEPTION(EParseError, Exception);

// Tags and attributes share one kind, so the parser can hold either in Sy.
enum Symb : uint8_t {
  // Tag starts, in table order.
  HtmlSy, TitleSy, BodySy, HeadSy, BSy, ISy, HeadingSy, EmSy, StrongSy, USy, CiteSy, VarSy, TTSy,
  CodeSy, KbdSy, SampSy, OLSy, ULSy, DirSy, MenuSy, DLSy, ASy, AddressSy, BlockQuoteSy, PreSy,
  CenterSy, TableSy, TDSy, THSy, CaptionSy, FormSy, TextAreaSy, SelectSy, OptionSy, FontSy, SubSy,
  SupSy, BigSy, SmallSy, PSy, MapSy, FrameSetSy, NoFramesSy, ScriptSy, DivSy, SSy, StrikeSy, LISy,
  BRSy, HRSy, DDSy, DTSy, ImageSy, BaseSy, TRSy, ButtonSy, InputSy, SelectedSy, BaseFontSy, AreaSy,
  FrameSy, PageSy,
  // Tag ends of the first 47 tags, in the same order.
  HtmlEndSy, TitleEndSy, BodyEndSy, HeadEndSy, BEndSy, IEndSy, HeadingEndSy, EmEndSy, StrongEndSy,
  UEndSy, CiteEndSy, VarEndSy, TTEndSy, CodeEndSy, KbdEndSy, SampEndSy, OLEndSy, ULEndSy, DirEndSy,
  MenuEndSy, DLEndSy, AEndSy, AddressEndSy, BlockQuoteEndSy, PreEndSy, CenterEndSy, TableEndSy,
  TDEndSy, THEndSy, CaptionEndSy, FormEndSy, TextAreaEndSy, SelectEndSy, OptionEndSy, FontEndSy,
  SubEndSy, SupEndSy, BigEndSy, SmallEndSy, PEndSy, MapEndSy, FrameSetEndSy, NoFramesEndSy,
  ScriptEndSy, DivEndSy, SEndSy, StrikeEndSy,
  // A text run; a character that starts no run; a tag name in no table row
  // (or an end tag of a tag without one); end of input; in raw text, a line
  // end and the textarea's closing tag.
  TextSy, OtherCharSy, UnknownTagSy, EofSy, EolSy, TextAreaCloseSy,
  // Attribute kinds, in the order of the attribute names.
  HrefAttr, NameAttr, SrcAttr, AltAttr, AlignAttr, TextAttr, BGColorAttr, LinkAttr, BackgroundAttr,
  ColSpanAttr, RowSpanAttr, BorderAttr, CellPaddingAttr, CellSpacingAttr, VAlignAttr, WidthAttr,
  StartAttr, ValueAttr, TypeAttr, CheckBoxAttr, RadioAttr, MethodAttr, ActionAttr, CheckedAttr,
  SizeAttr, MaxLengthAttr, ColsAttr, RowsAttr, MultipleAttr, SelectedAttr, FaceAttr, ColorAttr,
  TranspAttr, ClearAttr, IsMapAttr, BorderColorAttr, UseMapAttr, ShapeAttr, CoordsAttr, NoHrefAttr,
  HeightAttr, PlainAttr, TargetAttr, NoResizeAttr, ScrollingAttr, HSpaceAttr, LanguageAttr,
  FrameBorderAttr,
  UnknownAttr
};
const int kTagCount = 62;
const int kTagsWithEnd = 47;
const int kAttributeCount = 48;
// The first end-tag kind is the first tag kind moved by this much.
const int kEndOffset = HtmlEndSy - HtmlSy;

struct TTagInfo {
  const char* Name;
  bool KeepsAttributes;
  Symb Kind;
};
extern const TTagInfo kTags[kTagCount];
extern const char* const kAttributeNames[kAttributeCount];

// Character entities: "amp", "lt", "gt", "quot", then codes 160 to 255 in
// order.  Codes 215 and 247 have no name (an empty one that never matches).
struct TEntity {
  const char* Name;
  unsigned char Code;
};
const int kEntityCount = 100;
extern const TEntity kEntities[kEntityCount];

// Numerals 1 to 20 for ordered lists.
extern const char* const LowRoman[20];
extern const char* const HighRoman[20];

// Where characters come from.
enum TSourceKind { skTextFile, skBuffer, skStrings, skStream };

const char kEofChar = 26;
const int kMaxToken = 150;
const int kMaxTextRun = 100;
const int kMaxFontStack = 25;

extern TSourceKind SourceKind;
// Current character with its case, and upper-cased (ASCII letters only).
extern char LCh, Ch;
extern Symb Sy;
extern std::string LCToken;
// 1 to 6 after an H tag followed by that digit, else 0.
extern int HeadingLevel;
// Spaces and line ends are kept inside preformatted text.
extern bool InPre;
// Set while raw text (script, textarea) is read: "<!" opens no comment.
extern bool NoComment;

// Refilled by every tag that keeps its attributes; made and freed by the
// parser (while there is none, attributes are read and dropped).
extern htmlun2::TAttributeList* Attributes;

// The font stack; its bottom entry, the document's default font, is put
// there by the parser.
extern htmlsubs::TMyFont* FontStack[kMaxFontStack];
extern int FontStackDepth;

// Choosing a source.  The text file is opened here (EFOpenError "Cannot
// open file <name>" when it cannot be) and closed by CloseTextFile.  The
// other sources are not owned.
void UseTextFile(const std::string& fileName);
void CloseTextFile();
void UseBuffer(const char* start, const char* end);
void UseStrings(const TStrings* strings);
void UseStream(TStream* stream);
// Clears the look-ahead, the flags and the token for a new document.
void ResetScanner();

void GetCh();
void Next();
void NextPre();
void SkipWhiteSpace();

// A colour name or a hexadecimal RRGGBB value, as a TColor.  False, and
// Color untouched, for anything else.
bool ColorFromString(const std::string& s, TColor& color);

// False when the stack is full; else a copy of the top font goes on top.
bool PushNewFont();
// The bottom font stays.
void PopFont();
// Frees every font of the stack.
void FreeFontStack();

}  // namespace readhtml
