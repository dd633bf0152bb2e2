// The HTML parser: reads the scanner's tokens and builds a document of
// sections (text, lists, rules, tables, forms, maps).  A recursive-descent
// parser: each block construct has a handler that loops over tokens until
// one of a set of terminating tokens, passed down by its caller, arrives.
// All its state is global: one document is parsed at a time, on one thread.
#pragma once

#include <functional>
#include <string>

#include "classes.h"
#include "htmlattrs.h"
#include "htmlsections.h"

namespace readhtml {

// Filled by every parse and read by the viewer afterwards.
extern std::string Title;
extern std::string Base;
extern std::string BaseTarget;

// Receives the text of a SCRIPT element (language, text with CR LF line
// ends).  Without a handler scripts are skipped.
using TScriptEvent = std::function<void(const std::string& language, const std::string& script)>;
extern TScriptEvent OnScript;

// Handlers stop nesting here, so that parsing, layout and drawing stay far
// from the end of the stack: a construct past the limit is read as if out of
// place (its start tag skipped, its content kept in the current cell).  Real
// pages nest a handful of lists, divisions or tables.
const int kMaxNestLevel = 64;

// The parse entries.  NameList receives the anchors (upper-cased names, the
// section as the object).  A parse that raises leaves the document empty
// and frees everything the parser made; the exception passes on.
void HtmlParseStream(htmlsubs::TSectionList* doc, TStringList* nameList, TStream* stream);
void HtmlParseBuffer(htmlsubs::TSectionList* doc, TStringList* nameList, const char* buffer, int length);
void HtmlParseStrings(htmlsubs::TSectionList* doc, TStringList* nameList, const TStrings* strings);
void HtmlParseFile(htmlsubs::TSectionList* doc, TStringList* nameList, const std::string& fileName);
void HtmlParseTextFile(htmlsubs::TSectionList* doc, TStringList* nameList, const std::string& fileName);
void HtmlParseTextStrings(htmlsubs::TSectionList* doc, TStringList* nameList, const TStrings* strings);

// The frame-set objects the parser fills; the frame viewer implements them.
class TFrameSetBuilder {
 public:
  virtual ~TFrameSetBuilder() = default;
  // The attributes of this set's FRAMESET tag.
  virtual void SetAttributes(const htmlun2::TAttributeList& attrs) = 0;
  // A nested set inside this one, owned by it.
  virtual TFrameSetBuilder* AddSubFrameSet(const htmlun2::TAttributeList& attrs) = 0;
  virtual void AddFrame(const htmlun2::TAttributeList& attrs, const std::string& base) = 0;
  // The set is complete: its dimensions can be worked out.
  virtual void Finish() = 0;
};

// True when a FRAMESET comes before any body content.
bool IsFrameSetFile(const std::string& fileName);
// Fills frameSet from the file's first FRAMESET; Title, Base and
// BaseTarget from its head.
void FrameSetParse(TFrameSetBuilder& frameSet, const std::string& fileName);

}  // namespace readhtml
