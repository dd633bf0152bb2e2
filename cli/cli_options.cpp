#include "cli_options.h"

#include <cstdint>
#include <cstdlib>

#include "options.h"
#include "packer.h"

namespace {

struct Parser {
  const std::vector<std::string>& args;
  size_t pos = 0;

  bool More() const { return pos < args.size(); }

  // The value of an option: "--name=value", "--name value" or "-xvalue".
  std::string Value(const std::string& option, const std::string& inlineValue, bool hasInline) {
    if (hasInline) return inlineValue;
    if (pos >= args.size()) throw UsageError("option " + option + " needs a value");
    return args[pos++];
  }
};

uint32_t Number(const std::string& option, const std::string& text, uint32_t max) {
  // Decimal, or hexadecimal after "0x"; nothing else, so a typo is an error
  // rather than a silently different patch.
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (text.size() <= start) throw UsageError("option " + option + ": \"" + text + "\" is not a number");
  uint64_t value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      throw UsageError("option " + option + ": \"" + text + "\" is not a number");
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (value > max)
      throw UsageError("option " + option + ": " + text + " is out of range (at most " + std::to_string(max) + ")");
  }
  return static_cast<uint32_t>(value);
}

// "old", "new" and 1-based old-version numbers, separated by commas.
void ApplyVersionList(const std::string& option, const std::string& list, IgnorePattern& entry) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item == "old")
      entry.allOld = 1;
    else if (item == "new")
      entry.newest = 1;
    else {
      uint32_t v = Number(option, item, kMaxSourceEntries - 2);
      if (v == 0) throw UsageError("option " + option + ": versions are numbered from 1 (the oldest)");
      entry.perVersion[v - 1] = 1;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

}  // namespace

CliSettings ParseCommandLine(const std::vector<std::string>& args) {
  CliSettings settings;
  Parser p{args};
  bool packerPathSet = false, packerOptionsSet = false;
  std::string packerPath, packerOptions;
  bool onlyPositional = false;

  while (p.More()) {
    const std::string arg = args[p.pos++];
    if (onlyPositional || arg.empty() || arg[0] != '-' || arg == "-") {
      settings.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }
    std::string name = arg, inlineValue;
    bool hasInline = false;
    if (arg.compare(0, 2, "--") == 0) {
      size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
        hasInline = true;
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      inlineValue = arg.substr(2);
      hasInline = true;
    }
    auto value = [&]() { return p.Value(name, inlineValue, hasInline); };
    auto flag = [&]() {
      if (hasInline) throw UsageError("option " + name + " takes no value");
    };

    if (name == "-h" || name == "--help") {
      flag();
      settings.help = true;
    } else if (name == "-q" || name == "--quiet") {
      flag();
      settings.quiet = true;
    } else if (name == "-f" || name == "--force") {
      flag();
      ForcePatch = 1;
    } else if (name == "-g" || name == "--protect") {
      ProtectionRanges.push_back(value());
    } else if (name == "-t" || name == "--type") {
      PatchType = Number(name, value(), 6);
    } else if (name == "-z" || name == "--deflate") {
      flag();
      CompressPatchfile = 1;
    } else if (name == "-a" || name == "--archive") {
      flag();
      ArchiveResult = 1;
    } else if (name == "-p" || name == "--packer") {
      PackerIndex = Number(name, value(), kPackerCount - 1);
    } else if (name == "--packer-path") {
      packerPath = value();
      packerPathSet = true;
    } else if (name == "--packer-options") {
      packerOptions = value();
      packerOptionsSet = true;
    } else if (name == "-b" || name == "--backup") {
      BackupDir = value();
    } else if (name == "-x" || name == "--ignore") {
      IgnorePattern entry;
      entry.pattern = value();
      entry.allOld = entry.newest = 1;
      IgnorePatterns.push_back(entry);
    } else if (name == "--ignore-in") {
      std::string v = value();
      size_t colon = v.find(':');
      if (colon == std::string::npos || colon == 0 || colon + 1 == v.size())
        throw UsageError("option --ignore-in needs VERSIONS:PATTERN");
      IgnorePattern entry;
      entry.pattern = v.substr(colon + 1);
      ApplyVersionList(name, v.substr(0, colon), entry);
      IgnorePatterns.push_back(entry);
    } else if (name == "-m" || name == "--match") {
      MatchPatterns.push_back(MatchPattern{value(), 0});
    } else if (name == "--option-a") {
      OptionA = static_cast<uint16_t>(Number(name, value(), 0xFFFF));
    } else if (name == "--option-b") {
      OptionB = static_cast<uint16_t>(Number(name, value(), 0xFFFF));
    } else if (name == "--warp-offset") {
      WarpOffset = Number(name, value(), 0xFFFFFFFFu);
    } else if (name == "--warp-flag") {
      flag();
      WarpFlag = 1;
    } else if (name == "--disk") {
      flag();
      InMemory = 0;
    } else if (name == "--sample-step" || name == "--budget") {
      SampleStep = static_cast<uint16_t>(Number(name, value(), 0xFFFF));
    } else if (name == "--match-in-new") {
      flag();
      MatchInNewFile = 1;
    } else if (name == "--current-time") {
      flag();
      UseCurrentTime = 1;
    } else if (name == "--uniform-time") {
      flag();
      UniformFileTime = 1;
    } else if (name == "--hidden") {
      flag();
      ScanFlag = 1;
    } else if (name == "--registry-first") {
      RegistryInfoFirst = value();
    } else if (name == "--registry-second") {
      RegistryInfoSecond = value();
    } else {
      throw UsageError("unknown option " + name);
    }
  }

  if (packerPathSet) PackerTable[PackerIndex].path = packerPath;
  if (packerOptionsSet) PackerTable[PackerIndex].options = packerOptions;
  if ((packerPathSet || packerOptionsSet) && PackerIndex == 0)
    throw UsageError("options --packer-path and --packer-options need an external packer (--packer 1..7)");
  if (settings.help) return settings;
  if (settings.positional.size() < 3)
    throw UsageError("give at least one source, the final state and the output name");
  if (settings.positional.size() > kMaxSourceEntries)
    throw UsageError("at most " + std::to_string(kMaxSourceEntries - 1) + " versions (sources and final state)");
  return settings;
}

std::string UsageText() {
  std::string packers;
  for (int i = 0; i < kPackerCount; ++i)
    packers += "                             " + std::to_string(i) + " " + PackerTable[i].name + "\n";
  return "usage: morvane-cli [options] SOURCE... FINAL OUTPUT\n"
         "\n"
         "Makes one patch file that turns each SOURCE (oldest first) into FINAL.\n"
         "SOURCEs and FINAL are all files or all directories. OUTPUT gets \".utp\"\n"
         "(plain patch) or \".exe\" (executable patch) unless it ends in it.\n"
         "\n"
         "options (default in brackets):\n"
         "  -t, --type N             patch type: 0 plain, 1..6 executable with applier stub N [0]\n"
         "  -z, --deflate            deflate the patch body [off]\n"
         "  -a, --archive            pack the finished patch file [off]\n"
         "  -p, --packer N           packer used by --archive [0]:\n" +
         packers +
         "      --packer-path PATH   program of the external packer [search PATH]\n"
         "      --packer-options T   its option template, %b base name, %p patch file [the packer's own]\n"
         "  -b, --backup DIR         backup directory written into the patch [Backup]\n"
         "  -f, --force              patch files even when versions are identical [off]\n"
         "  -g, --protect ENTRY      protected range, repeatable: LENGTH,OFFSET1,...,OFFSETn for files;\n"
         "                           NAME1,...,NAMEn,LENGTH,OFFSET1,...,OFFSETn for directories [none]\n"
         "  -x, --ignore PATTERN     leave matching files out of every version, repeatable [none]\n"
         "      --ignore-in V:PATTERN  the same for versions V only: \"old\", \"new\" or numbers\n"
         "                           of old versions (1 = oldest), separated by commas [none]\n"
         "  -m, --match PATTERN      mark matching files in the patch, repeatable [none]\n"
         "      --option-a N         Warp literal segment option, 10..255, else 20 [20]\n"
         "      --option-b N         Warp extension option, 10..10000, else 190 [190]\n"
         "      --warp-offset N      Warp offset [0]\n"
         "      --warp-flag          Warp flag [off]\n"
         "      --disk               scan the files on disk instead of in memory [off]\n"
         "      --sample-step N      index sampling step in memory (at least 5) [5]\n"
         "      --budget MIB         index memory budget with --disk (same variable) [5]\n"
         "      --match-in-new       copies may also come from earlier parts of the new file [off]\n"
         "      --current-time       give patched files the current time [off]\n"
         "      --uniform-time       give all files of a directory patch one time [off]\n"
         "      --hidden             include hidden files and directories [off]\n"
         "      --registry-first S   first registry information name [none]\n"
         "      --registry-second S  second registry information name [none]\n"
         "  -q, --quiet              no progress line [progress on a terminal]\n"
         "  -h, --help               this text\n"
         "\n"
         "exit codes: 0 done, 1 the patch could not be made, 2 usage error,\n"
         "20 malformed --protect number\n";
}
