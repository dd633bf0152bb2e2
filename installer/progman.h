// The Program Manager client: one program-wide DDE conversation that makes
// program groups and their items on systems without the shell's links.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "exceptions.h"

class EAIPMError : public EAI {
 public:
  EAIPMError();
  using EAI::EAI;
};
#define INSTKIT_PM_ERROR(name)  \
  class name : public EAIPMError { \
   public:                         \
    using EAIPMError::EAIPMError;  \
  };
INSTKIT_PM_ERROR(EAIPMCannotOpen)
INSTKIT_PM_ERROR(EAIPMCannotCreateGroup)
INSTKIT_PM_ERROR(EAIPMCannotOpenGroup)
INSTKIT_PM_ERROR(EAIPMCannotAddItem)
INSTKIT_PM_ERROR(EAIPMCannotReplaceItem)
#undef INSTKIT_PM_ERROR

// A DDE client conversation, only as far as the Program Manager needs it:
// connected by hand, macros executed, items requested as text.
class TDdeClientConv {
 public:
  TDdeClientConv();
  ~TDdeClientConv();
  std::string Service, Topic;
  bool OpenLink();
  void CloseLink();
  bool Connected() const;
  bool ExecuteMacro(const std::string& macro);
  // False when the server does not answer the request.
  bool RequestData(const std::string& item, std::string& data);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

class TProgramManager : public TComponent {
 public:
  explicit TProgramManager(TComponent* owner);
  ~TProgramManager() override;

  // The service the conversation goes to: "PROGMAN" unless a test says
  // otherwise before the first use.
  const std::string& Service() const { return service_; }
  void SetService(const std::string& value) { service_ = value; }

  void CreateGroup(const std::string& name);
  // Selects the group: later items go there.
  void ShowGroup(const std::string& name);
  void AddItem(const std::string& commandLine, const std::string& name, const std::string& iconPath,
               int iconIndex, const std::string& defaultDir, const std::string& hotKey);
  void ReplaceItem(const std::string& name);
  // The names of all groups, one a line.
  std::vector<std::string> Groups();

  const std::string& SelectedGroup() const { return group_; }
  // The selected group's item lines as last read.
  const std::vector<std::string>& Items() const { return items_; }
  // True when an item line's first field is exactly name.
  bool HasItem(const std::string& name) const;
  // Field n (from 1) of an item line, with surrounding quotes stripped.
  static std::string ItemField(const std::string& line, int n);

 private:
  void Connect();
  void ReadItems();
  std::string service_ = "PROGMAN";
  std::string group_;
  std::vector<std::string> items_;
  std::unique_ptr<TDdeClientConv> conv_;
};

// The program-wide instance, made on first use.
TProgramManager* ProgramManager();
void FreeProgramManager();
