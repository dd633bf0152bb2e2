// MIME multipart/mixed messages: a mail with its text and attached files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classes.h"

class T_MailNews;

class T_Attachment : public TObject {
 public:
  T_Attachment();
  ~T_Attachment() override;

  std::string ContentType;
  std::string Disposition;
  // 0 base64, 1 quoted-printable, 2 none.
  uint8_t Encoding = 2;
  TMemoryStream* Data() const { return FData; }
  TStringList* Text() const { return FText; }
  // Copies the lines and writes them into the data too.
  void SetText(TStrings* lines);
  // Copies the whole stream; the text lines are cleared.
  void SetData(TStream* stream);

 private:
  TMemoryStream* FData;
  TStringList* FText;
};

class T_Mime : public TComponent {
 public:
  explicit T_Mime(TComponent* owner);
  ~T_Mime() override;

  T_MailNews* Mail = nullptr;

  // Each returns the index of the new part.
  int AttachFile(const std::string& fileName);
  int AttachText(TStrings* lines);
  void DeletePart(int index);
  void Clear();
  int PartCount() const { return static_cast<int>(FParts.size()); }
  T_Attachment* Part(int index) const { return FParts[static_cast<size_t>(index)]; }

  // Builds the multipart body into the mail and sends it.
  virtual void Action();

 private:
  std::vector<T_Attachment*> FParts;
};
