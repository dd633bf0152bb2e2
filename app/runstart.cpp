// Starting patch runs from the expert page and the wizard, the patch names
// that follow the type, archive and packer choices, and the expert page's
// e-mail pane.
#include <windows.h>

#include <algorithm>

#include "addrbook.h"
#include "emailthread.h"
#include "filedlgtext.h"
#include "mainform.h"
#include "options.h"
#include "packer.h"
#include "patchnames.h"
#include "patchthread.h"
#include "receivers.h"
#include "settings.h"
#include "streams.h"
#include "sysutils.h"

const char* const TForm1::kReceiverPlaceholder = "<type a receiver's address here>";

namespace {

const char kWizardNameHint[] =
    "##Enter the name you want to choose for the created patchfile.#(It will be modified according to your packer "
    "selection.)";
const char* const kKinds[] = {"TO", "CC", "BCC"};

// The archive suffix of packer (0 the internal ZIP, 1..7 the external
// ones): the user's "Archives have suffix", the value a run will use.
std::string PackerSuffix(int packer) {
  if (packer >= 1 && packer <= static_cast<int>(PackerSettingsList.size()))
    return PackerSettingsList[static_cast<size_t>(packer - 1)].ArchiveSuffix;
  return PackerTable[0].suffix.empty() ? std::string(".zip") : PackerTable[0].suffix;
}

void Rename(TEdit* edit, int typeIndex, bool archive, int packer) {
  const std::string text = edit->Text();
  const std::string renamed = ReplaceExtension(text, PatchFileExtension(typeIndex <= 0, archive, PackerSuffix(packer)));
  if (renamed != text) edit->SetText(renamed);
}

// Chains a handler after the one a control has already.
void After(TNotifyEvent& event, std::function<void()> then) {
  TNotifyEvent before = event;
  event = [before, then](TObject* s) {
    if (before) before(s);
    then();
  };
}

}  // namespace

std::string TForm1::ReceiverRowText(const std::string& email, const std::string& name) {
  return name.empty() ? email : email + " (" + name + ")";
}

void TForm1::UpdatePatchNames(bool expert, bool page, bool options) {
  if (filling_) return;
  const int packer = expert ? ExpertDefaultPacker : WizardDefaultPacker;
  if (page) {
    const bool was = filling_;
    filling_ = true;
    if (expert)
      Rename(edit_ExpertPatchname, combo_ExpertPatchType->ItemIndex(), chkbox_ExpertArchivePatch->Checked(), packer);
    else
      Rename(edit_WizardPatchname, combo_WizardPatchType->ItemIndex(), chkbox_WizardArchivePatch->Checked(), packer);
    filling_ = was;
  }
  // The option edits write their settings as they change.
  if (options && expert)
    Rename(edit_OptionExpertPatchname, combo_OptionExpertPatchType->ItemIndex(),
           chkbox_OptionExpertArchive->Checked(), packer);
  if (options && !expert)
    Rename(edit_OptionWizardPatchname, combo_OptionWizardPatchType->ItemIndex(),
           chkbox_OptionWizardArchive->Checked(), packer);
  edit_WizardPatchname->SetHint(HintText(edit_WizardPatchname->Text() + kWizardNameHint));
  UpdateSendButton();
}

std::string TForm1::HintText(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '#' ? std::string("\r\n") : std::string(1, c);
  return out;
}

void TForm1::HookRunControls() {
  // Every choice that changes the extension renames the matching names.
  // (expert?, the page's name, the option's name)
  struct Trigger {
    TNotifyEvent* event;
    bool expert, page, options;
  } triggers[] = {
      {&combo_ExpertPatchType->OnChange, true, true, false},
      {&chkbox_ExpertArchivePatch->OnClick, true, true, false},
      {&combo_WizardPatchType->OnChange, false, true, false},
      {&chkbox_WizardArchivePatch->OnClick, false, true, false},
      {&combo_OptionExpertPatchType->OnChange, true, false, true},
      {&chkbox_OptionExpertArchive->OnClick, true, false, true},
      {&combo_OptionWizardPatchType->OnChange, false, false, true},
      {&chkbox_OptionWizardArchive->OnClick, false, false, true},
      {&radiobtn_OptionExpertInternalZip->OnClick, true, true, true},
      {&radiobtn_OptionExpertExternalPacker->OnClick, true, true, true},
      {&combo_OptionExpertExternalPacker->OnChange, true, true, true},
      {&radiobtn_OptionWizardInternalZip->OnClick, false, true, true},
      {&radiobtn_OptionWizardExternalPacker->OnClick, false, true, true},
      {&combo_OptionWizardExternalPacker->OnChange, false, true, true},
  };
  for (const Trigger& t : triggers) {
    const bool expert = t.expert, page = t.page, options = t.options;
    After(*t.event, [this, expert, page, options] { UpdatePatchNames(expert, page, options); });
  }
  edit_ExpertPatchname->OnChange = [this](TObject*) { UpdateSendButton(); };
  edit_WizardPatchname->OnChange = [this](TObject*) {
    edit_WizardPatchname->SetHint(HintText(edit_WizardPatchname->Text() + kWizardNameHint));
  };
  // Enter in a name edit starts nothing.
  for (TEdit* e : {edit_ExpertPatchname, edit_WizardPatchname})
    e->OnKeyPress = [](TObject*, char& key) {
      if (key == '\r') key = 0;
    };
  chkbox_ExpertForceIdentical->OnClick = [this](TObject*) {
    if (!filling_) chkbox_OptionExpertForceIdentical->SetChecked(chkbox_ExpertForceIdentical->Checked());
  };

  button_ExpertCreate->OnClick = [this](TObject*) { button_ExpertCreateClick(); };
  button_ExpertCallAddressbook->OnClick = [this](TObject*) { OpenAddressBook(rdgrp_OptionAddressBookWindowPos); };
  button_ExpertSendEmail->OnClick = [this](TObject*) { button_ExpertSendEmailClick(); };
  edit_ExpertEmailReceiver1->SetText(kReceiverPlaceholder);
  edit_ExpertEmailReceiver1->OnExit = [this](TObject*) { AddTypedReceiver(); };
  edit_ExpertEmailReceiver1->OnKeyPress = [this](TObject*, char& key) {
    if (key != '\r') return;
    key = 0;
    AddTypedReceiver();
  };
  ReceiversChanged = [this] {
    if (HandleAllocated()) PostMessageA(Handle(), kReceiverRowsMessage, 0, 0);
  };
}

void TForm1::UpdateSendButton() {
  const std::string name = edit_ExpertPatchname->Text();
  button_ExpertSendEmail->SetEnabled(!name.empty() && FileExists(name));
}

// ------------------------------------------------------------------ runs

namespace {

// Only a file in a folder on disk keeps the patch: a device name takes the
// bytes and drops them, a relative name writes wherever the process
// happens to stand, and both would end the run as if all had gone well.
bool IsPlainFileOnDisk(const std::string& path) {
  if (!filedlg::IsRooted(path) || filedlg::IsDeviceName(path)) return false;
  const DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return true;
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return false;
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  const DWORD type = GetFileType(h);
  CloseHandle(h);
  return type == FILE_TYPE_DISK;
}

}  // namespace

void TForm1::StartPatchRun() {
  const std::string output = SourceCount ? SourceList[SourceCount - 1] : std::string();
  if (!IsPlainFileOnDisk(output)) {
    Application->MessageBox("The patch cannot be written to\r\n" + output +
                                "\r\n\r\nChoose a file name in a folder on disk.",
                            "Error", MB_OK | MB_ICONSTOP);
    return;
  }
  // Values are copied whole: a cut path or template would start another
  // archiver command than the one the user configured.
  for (int n = 1; n < kPackerCount && n <= static_cast<int>(PackerSettingsList.size()); ++n) {
    const PackerSettings& s = PackerSettingsList[static_cast<size_t>(n - 1)];
    PackerEntry& e = PackerTable[n];
    e.path = s.CallViaSystemPath ? std::string() : s.ExecutablePath;
    e.suffix = s.ArchiveSuffix;
    e.options = s.ParameterTemplate;
    e.hideOutput = s.HideDosOutput != 0;
  }
  RunPatchThreadAndWait(this);
}

void TForm1::button_ExpertCreateClick() {
  HideForRun();
  ResetEngineOptions();
  const bool valid = ValidateSources();
  if (valid) {
    ArchiveResult = chkbox_ExpertArchivePatch->Checked() ? 1 : 0;
    PackerIndex = static_cast<uint32_t>(ExpertDefaultPacker);
    BackupDir = edit_OptionExpertBackupDir->Text();
    StartPatchRun();
  }
  RestoreAfterRun();
  UpdateSendButton();
}

void TForm1::button_WizardContinueClick() {
  HideForRun();
  ResetEngineOptions();
  const bool valid = ValidateSources();
  if (valid) {
    ArchiveResult = chkbox_WizardArchivePatch->Checked() ? 1 : 0;
    PackerIndex = static_cast<uint32_t>(WizardDefaultPacker);
    BackupDir = edit_OptionWizardBackupDir->Text();
    StartPatchRun();
  }
  RestoreAfterRun();
  pagectrl_Wizard->SetActivePageIndex(0);
  ValidateSources();
}

// ------------------------------------------------------------------ e-mail pane

void TForm1::BuildReceiverRows() {
  // Runs from a posted message or at creation, never inside a row's own
  // event, so the rows can be freed here.
  while (EmailReceiverEdits.Count() > 0) delete reinterpret_cast<TEdit*>(EmailReceiverEdits.RemoveEnd(0));
  while (EmailReceiverTypes.Count() > 0) delete reinterpret_cast<TComboBox*>(EmailReceiverTypes.RemoveEnd(0));
  bool haveTo = false;
  const int editWidth = edit_ExpertEmailReceiver1->Width();
  for (int k = 0; k < Receivers.Count(); ++k) {
    const ReceiverEntry& r = *Receivers.Items(k);
    auto* edit = new TEdit(this);
    edit->SetBounds(4, 8 + 25 * k, editWidth, 21);
    edit->SetParent(scrbox_Email);
    edit->SetText(ReceiverRowText(r.Email, r.Name));
    edit->SetReadOnly(true);
    auto* type = new TComboBox(this);
    type->SetBounds(edit_ExpertEmailReceiver1->Left() + editWidth + 4, 8 + 25 * k, 60, 100);
    type->SetParent(scrbox_Email);
    type->SetStyle(csDropDownList);
    for (const char* kind : kKinds) type->Items().Add(kind);
    type->SetItemIndex(r.Kind < 3 ? r.Kind : 0);
    const int32_t id = r.Identifier;
    const std::string email = r.Email;
    type->OnChange = [this, type, id, email](TObject*) {
      for (int i = 0; i < Receivers.Count(); ++i) {
        ReceiverEntry* e = Receivers.Items(i);
        if (e->Identifier == id && e->Email == email) e->Kind = static_cast<uint8_t>(std::max(0, type->ItemIndex()));
      }
      RefreshReceivers();
    };
    EmailReceiverEdits.Append(reinterpret_cast<DynElement>(edit));
    EmailReceiverTypes.Append(reinterpret_cast<DynElement>(type));
    if (r.Kind == 0) haveTo = true;
  }
  const int top = 8 + 25 * Receivers.Count();
  edit_ExpertEmailReceiver1->SetTop(top);
  combo_ExpertEmailType1->SetTop(top);
  combo_ExpertEmailType1->SetItemIndex(haveTo ? 1 : 0);
  scrbox_Email->UpdateScrollBars();
}

void TForm1::AddTypedReceiver() {
  const std::string text = edit_ExpertEmailReceiver1->Text();
  std::vector<std::string> existing;
  for (int i = 0; i < Receivers.Count(); ++i) existing.push_back(Receivers.Items(i)->Email);
  if (!CanAddTypedReceiver(text, kReceiverPlaceholder, existing)) return;
  auto* r = new ReceiverEntry;
  r->Identifier = -1;
  r->Email = text;
  r->Kind = static_cast<uint8_t>(std::max(0, combo_ExpertEmailType1->ItemIndex()));
  Receivers.Append(r);
  edit_ExpertEmailReceiver1->SetText("");
  combo_ExpertEmailType1->SetItemIndex(1);
  RefreshReceivers();
}

void TForm1::button_ExpertSendEmailClick() {
  if (!button_ExpertSendEmail->Enabled() || EmailSendingUnderWay() || Receivers.Count() == 0) return;
  const EmailSettings* profile = nullptr;
  for (const EmailSettings& p : EmailProfiles)
    if (p.DisplayName == combo_OptionDefaultEmailSettings->Text()) profile = &p;
  if (!profile && !EmailProfiles.empty()) profile = &EmailProfiles[0];
  if (!profile) return;
  // The job is taken here, on the GUI thread, before the worker starts.
  SendPatchByEmail(this, MakeEmailJob(*profile, edit_ExpertEmailSubject->Text(), &memo_ExpertEmail->Lines(),
                                      edit_ExpertPatchname->Text()));
}
