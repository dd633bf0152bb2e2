// A label and a button that carry the identifier of their text, so the
// translator finds their caption by GLID instead of by its English text.
#pragma once

#include "translator.h"
#include "win/buttons.h"
#include "win/stdctrls.h"

class TTranslateLabel : public TLabel, public ITranslateGLID {
 public:
  using TLabel::TLabel;
  int GLID() const override { return fGLID; }
  void SetGLID(int value) { fGLID = value; }
  void PublishProperties(TPropList& list) const override;

 private:
  int fGLID = 0;  // 0: none
};

class TTranslateBitBtn : public TBitBtn, public ITranslateGLID {
 public:
  using TBitBtn::TBitBtn;
  int GLID() const override { return fGLID; }
  void SetGLID(int value) { fGLID = value; }
  void PublishProperties(TPropList& list) const override;

 private:
  int fGLID = 0;
};
