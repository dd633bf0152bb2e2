#include "translatecontrols.h"

void TTranslateLabel::PublishProperties(TPropList& list) const {
  TLabel::PublishProperties(list);
  list.push_back(IntProp<TTranslateLabel>("GLID", &TTranslateLabel::GLID, &TTranslateLabel::SetGLID));
}

void TTranslateBitBtn::PublishProperties(TPropList& list) const {
  TBitBtn::PublishProperties(list);
  list.push_back(
      IntProp<TTranslateBitBtn>("GLID", &TTranslateBitBtn::GLID, &TTranslateBitBtn::SetGLID));
}
