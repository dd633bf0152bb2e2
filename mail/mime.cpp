#include "mime.h"

#include "charset.h"
#include "headerline.h"
#include "ip_misc.h"
#include "mailmsg.h"

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Adds the quoted-printable form of a text line, one list entry per output
// line.
void AddQuotedPrintable(TStringList* body, const std::string& line) {
  std::string qp = QuotedPrintable(line);
  size_t start = 0;
  for (;;) {
    size_t end = qp.find("\r\n", start);
    if (end == std::string::npos) {
      body->Add(qp.substr(start));
      return;
    }
    body->Add(qp.substr(start, end - start));
    start = end + 2;
  }
}

bool AllPlain(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127) return false;
  return true;
}

// A file name parameter outside ASCII in its RFC 2231 form, which readers
// decode in the set it names.
std::string FileNameParameter(const std::string& name) {
  if (AllPlain(name)) return "filename=\"" + name + "\"";
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "filename*=" + MailCharsetName() + "''";
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
        c == '_')
      out += ch;
    else
      out += std::string{'%', hex[c >> 4], hex[c & 15]};
  }
  return out;
}

}  // namespace

T_Attachment::T_Attachment() : FData(new TMemoryStream), FText(new TStringList) {}

T_Attachment::~T_Attachment() {
  delete FData;
  delete FText;
}

void T_Attachment::SetText(TStrings* lines) {
  FText->Assign(lines);
  FData->Clear();
  for (int i = 0; i < FText->Count(); ++i) {
    std::string line = (*FText)[i] + "\r\n";
    FData->Write(line.data(), static_cast<int>(line.size()));
  }
  FData->Seek(0, soBeginning);
}

void T_Attachment::SetData(TStream* stream) {
  FText->Clear();
  FData->Clear();
  stream->Seek(0, soBeginning);
  FData->CopyFrom(stream, 0);
  FData->Seek(0, soBeginning);
}

T_Mime::T_Mime(TComponent* owner) : TComponent(owner) {}

T_Mime::~T_Mime() { Clear(); }

int T_Mime::AttachFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  T_Attachment* part = new T_Attachment;
  part->ContentType = "application/octet-stream";
  part->Encoding = 0;
  try {
    part->SetData(&file);
  } catch (...) {
    delete part;
    throw;
  }
  // The name alone: a folder in the message would tell more than intended
  // and is no use to the receiver.
  size_t cut = fileName.find_last_of("\\:/");
  std::string name = cut == std::string::npos ? fileName : fileName.substr(cut + 1);
  part->Disposition = "attachment; " + FileNameParameter(name);
  FParts.push_back(part);
  return static_cast<int>(FParts.size()) - 1;
}

int T_Mime::AttachText(TStrings* lines) {
  T_Attachment* part = new T_Attachment;
  part->ContentType = "text/plain";
  part->Encoding = 1;
  part->SetText(lines);
  FParts.push_back(part);
  return static_cast<int>(FParts.size()) - 1;
}

void T_Mime::DeletePart(int index) {
  if (index < 0 || index >= PartCount()) return;
  delete FParts[static_cast<size_t>(index)];
  FParts.erase(FParts.begin() + index);
}

void T_Mime::Clear() {
  for (T_Attachment* part : FParts) delete part;
  FParts.clear();
}

void T_Mime::Action() {
  if (!Mail) throw Exception("No mail for the MIME message");
  std::string boundary = IntToStr(SecondsSince1970(Now())) + IntToHex(OwnAddress(), 8) + "==";

  // The MIME lines stay in the header afterwards, but those of an earlier
  // send go first: two Content-Type lines with different boundaries would
  // make the message unreadable.
  TStringList* header = Mail->Header();
  for (int i = header->Count() - 1; i >= 0; --i) {
    const std::string& line = (*header)[i];
    if (line == "MIME-Version: 1.0" || line == "Content-Transfer-Encoding: 7bit" ||
        StartsWith(line, "Content-Type: multipart/mixed; boundary=\""))
      header->Delete(i);
  }
  header->Add("MIME-Version: 1.0");
  header->Add("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
  header->Add("Content-Transfer-Encoding: 7bit");

  TStringList saved;
  saved.Assign(Mail->Body());
  TStringList* body = Mail->Body();
  body->Clear();
  int textPart = -1;
  if (saved.Count() > 0) textPart = AttachText(&saved);

  try {
    for (T_Attachment* part : FParts) {
      body->Add("");
      body->Add("--" + boundary);
      // A text part without its set is read as ASCII, and every letter
      // beyond it comes out garbled.
      std::string type = part->ContentType;
      if (StartsWith(type, "text/") && type.find("charset=") == std::string::npos)
        type += "; charset=\"" + MailCharsetName() + "\"";
      body->Add(EncodeHeaderLine("Content-Type: " + type, MailCharsetName()));
      if (!part->Disposition.empty())
        body->Add(EncodeHeaderLine("Content-Disposition: " + part->Disposition, MailCharsetName()));
      if (part->Encoding == 0) body->Add("Content-Transfer-Encoding: base64");
      if (part->Encoding == 1) body->Add("Content-Transfer-Encoding: quoted-printable");
      body->Add("");
      if (part->Encoding == 0) {
        Base64Stream(part->Data(), body);
      } else {
        TStringList* text = part->Text();
        for (int i = 0; i < text->Count(); ++i) AddQuotedPrintable(body, (*text)[i]);
      }
    }
    body->Add("");
    body->Add("--" + boundary + "--");
    Mail->Action();
  } catch (...) {
    // The caller's text and parts come back even when sending failed, so a
    // retry sends the same message.
    Mail->SetBody(&saved);
    DeletePart(textPart);
    throw;
  }
  Mail->SetBody(&saved);
  DeletePart(textPart);
}
