// A test-only Program Manager: a DDEML server under the service name given
// as the first argument (topic "PROGMAN") that keeps groups with Program
// Manager item lines, answers "Groups" and a group's item request, and
// appends every command it carries out to the log file given second.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

DWORD gInstance = 0;
HSZ gService = nullptr;
HSZ gTopic = nullptr;
std::string gLog;

struct Item {
  std::string name, command, dir;
};
std::map<std::string, std::vector<Item>> gGroups;
std::string gSelected;

void Log(const std::string& line) {
  if (FILE* f = std::fopen(gLog.c_str(), "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Unquote(std::string s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

// Arguments split at commas outside double quotes.
std::vector<std::string> Arguments(const std::string& inner) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (char c : inner) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

bool Execute(const std::string& macro) {
  Log(macro);
  if (macro.size() < 4 || macro.front() != '[' || macro.back() != ']') return false;
  size_t open = macro.find('(');
  if (open == std::string::npos) return false;
  std::string verb = macro.substr(1, open - 1);
  std::vector<std::string> args = Arguments(macro.substr(open + 1, macro.size() - open - 3));
  if (verb == "CreateGroup") {
    gSelected = Unquote(args[0]);
    gGroups[gSelected];
    return true;
  }
  if (verb == "ShowGroup") {
    if (!gGroups.count(Unquote(args[0]))) return false;
    gSelected = Unquote(args[0]);
    return true;
  }
  if (verb == "AddItem" && args.size() >= 7 && gGroups.count(gSelected)) {
    gGroups[gSelected].push_back({Unquote(args[1]), Unquote(args[0]), Unquote(args[6])});
    return true;
  }
  if (verb == "ReplaceItem" && gGroups.count(gSelected)) {
    auto& items = gGroups[gSelected];
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].name == Unquote(args[0])) {
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
      }
    return false;
  }
  return false;
}

std::string Request(const std::string& item) {
  std::string text;
  if (item == "Groups") {
    for (auto& g : gGroups) text += g.first + "\r\n";
    return text;
  }
  auto g = gGroups.find(item);
  if (g == gGroups.end()) return "";
  text = "\"" + g->first + "\",C:\\groups\\" + g->first + ".grp," + std::to_string(g->second.size()) + ",1\r\n";
  for (const Item& i : g->second)
    text += "\"" + i.name + "\",\"" + i.command + "\"," + i.dir + ",,0,0,0,0,0\r\n";
  return text;
}

std::string Text(HSZ hsz) {
  char buf[512] = {};
  DdeQueryStringA(gInstance, hsz, buf, sizeof(buf), CP_WINANSI);
  return buf;
}

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DdeCmpStringHandles(hsz1, gTopic) == 0));
    case XTYP_EXECUTE: {
      DWORD size = 0;
      BYTE* bytes = DdeAccessData(data, &size);
      std::string macro(bytes ? reinterpret_cast<char*>(bytes) : "", bytes ? size : 0);
      if (bytes) DdeUnaccessData(data);
      size_t nul = macro.find('\0');
      if (nul != std::string::npos) macro.resize(nul);
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(Execute(macro) ? DDE_FACK : DDE_FNOTPROCESSED));
    }
    case XTYP_REQUEST: {
      if (format != CF_TEXT) return nullptr;
      std::string item = Text(hsz2);
      Log("request " + item);
      std::string answer = Request(item);
      if (answer.empty() && item != "Groups") return nullptr;
      return DdeCreateDataHandle(gInstance, reinterpret_cast<BYTE*>(&answer[0]), static_cast<DWORD>(answer.size() + 1),
                                 0, hsz2, CF_TEXT, 0);
    }
    default:
      return nullptr;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  gLog = argv[2];
  if (DdeInitializeA(&gInstance, Callback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0) !=
      DMLERR_NO_ERROR)
    return 3;
  gService = DdeCreateStringHandleA(gInstance, argv[1], CP_WINANSI);
  gTopic = DdeCreateStringHandleA(gInstance, "PROGMAN", CP_WINANSI);
  if (!DdeNameService(gInstance, gService, nullptr, DNS_REGISTER)) return 4;
  Log("ready");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
