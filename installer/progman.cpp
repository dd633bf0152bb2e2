#include "progman.h"

#include "translator.h"

namespace {

std::unique_ptr<TProgramManager> gProgramManager;

std::string Translated(const std::string& format, std::initializer_list<TVarRec> args) {
  return Format(TranslateText(format), args);
}

}  // namespace

EAIPMError::EAIPMError()
    : EAI(TranslateText("The TProgramManager object was unable to communicate with Program Manager")) {}

TProgramManager* ProgramManager() {
  if (!gProgramManager) gProgramManager.reset(new TProgramManager(nullptr));
  return gProgramManager.get();
}

void FreeProgramManager() { gProgramManager.reset(); }

TProgramManager::TProgramManager(TComponent* owner) : TComponent(owner) {}

TProgramManager::~TProgramManager() {
  if (conv_) conv_->CloseLink();
}

void TProgramManager::Connect() {
  if (conv_ && conv_->Connected()) return;
  if (!conv_) conv_.reset(new TDdeClientConv);
  conv_->Service = service_;
  conv_->Topic = "PROGMAN";
  if (!conv_->OpenLink())
    throw EAIPMCannotOpen(
        TranslateText("The TProgramManager object was unable to establish a link with Program Manager"));
}

std::string TProgramManager::ItemField(const std::string& line, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t comma = line.find(',', start);
    if (comma == std::string::npos) return "";
    start = comma + 1;
  }
  size_t end = line.find(',', start);
  std::string field = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') field = field.substr(1, field.size() - 2);
  return field;
}

bool TProgramManager::HasItem(const std::string& name) const {
  for (const std::string& line : items_)
    if (ItemField(line, 1) == name) return true;
  return false;
}

void TProgramManager::ReadItems() {
  items_.clear();
  std::string data;
  if (group_.empty() || !conv_->RequestData(group_, data)) return;
  // The first line describes the group itself; each following line is one
  // item.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find_first_of("\r\n", start);
    std::string line = data.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (size_t i = 1; i < lines.size(); ++i) items_.push_back(lines[i]);
}

void TProgramManager::CreateGroup(const std::string& name) {
  Connect();
  if (!conv_->ExecuteMacro("[CreateGroup(\"" + name + "\")]"))
    throw EAIPMCannotCreateGroup(
        Translated("The TProgramManager object was unable to create the following program group: %s", {name}));
  group_ = name;
  ReadItems();
}

void TProgramManager::ShowGroup(const std::string& name) {
  Connect();
  if (!conv_->ExecuteMacro("[ShowGroup(" + name + ",8)]"))
    throw EAIPMCannotOpenGroup(
        Translated("The TProgramManager object was unable to open the following program group: %s", {name}));
  if (group_ != name) {
    group_ = name;
    ReadItems();
  }
}

void TProgramManager::AddItem(const std::string& commandLine, const std::string& name, const std::string& iconPath,
                              int iconIndex, const std::string& defaultDir, const std::string& hotKey) {
  Connect();
  std::string macro = "[AddItem(" + commandLine + "," + name + "," + iconPath + "," + IntToStr(iconIndex) + ",,," +
                      defaultDir + "," + hotKey + ")]";
  if (!group_.empty()) ShowGroup(group_);
  if (!conv_->ExecuteMacro(macro))
    // The item name is an argument, not part of the format: a "%" in it
    // must not break the message.
    throw EAIPMCannotAddItem(
        Translated("The TProgramManager object was unable to add the following program item: %s to the following "
                   "group: %s. The arguments passed to  Program Manager were: %s",
                   {name, group_, macro}));
  ReadItems();
}

void TProgramManager::ReplaceItem(const std::string& name) {
  Connect();
  if (!group_.empty()) ShowGroup(group_);
  if (!conv_->ExecuteMacro("[ReplaceItem(\"" + name + "\")]"))
    throw EAIPMCannotReplaceItem(Translated(
        "The TProgramManager object was unable to replace the following program item: %s to the following group: %s",
        {name, group_}));
  ReadItems();
}

std::vector<std::string> TProgramManager::Groups() {
  Connect();
  std::vector<std::string> groups;
  std::string data;
  if (!conv_->RequestData("Groups", data)) return groups;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find_first_of("\r\n", start);
    std::string line = data.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) groups.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return groups;
}
