#include "wizardlayout.h"

#include <cctype>
#include <cmath>

#include "sysutils.h"

namespace {

int Half(int v) { return static_cast<int>(std::lround(v / 2.0)); }

}  // namespace

TDialogPlace PlaceDialog(TQuenlowDialogPosition position, int screenWidth, int screenHeight, int width, int height,
                         int captionHeight, int relativeLeftOffset, int relativeTopOffset) {
  TDialogPlace p;
  switch (position) {
    case qdpCenter:
    case qdpBottomCenter:
    case qdpTopCenter:
      p.Left = Half(screenWidth) - Half(width) + relativeLeftOffset;
      break;
    case qdpCenterLeft:
    case qdpBottomLeft:
    case qdpTopLeft:
      p.Left = relativeLeftOffset;
      break;
    case qdpCenterRight:
    case qdpBottomRight:
    case qdpTopRight:
      p.Left = screenWidth - width - relativeLeftOffset;
      break;
  }
  switch (position) {
    case qdpCenterLeft:
    case qdpCenter:
    case qdpCenterRight:
      p.Top = Half(screenHeight) - Half(height) + relativeTopOffset;
      break;
    case qdpTopLeft:
    case qdpTopCenter:
    case qdpTopRight:
      p.Top = relativeTopOffset;
      break;
    case qdpBottomLeft:
    case qdpBottomCenter:
    case qdpBottomRight:
      p.Top = screenHeight - captionHeight - height - relativeTopOffset;
      break;
  }
  return p;
}

int FindShownPage(const std::vector<bool>& skipped, int index, bool backwards) {
  const int count = static_cast<int>(skipped.size());
  while (index >= 0 && index < count) {
    if (!skipped[static_cast<size_t>(index)]) return index;
    index += backwards ? -1 : 1;
  }
  return -1;
}

std::string FormatBytes(int64_t bytes) { return Format("%0.0n", {static_cast<double>(bytes)}) + " Bytes"; }

std::string FitPath(const std::string& path, int width, const std::function<int(const std::string&)>& measure) {
  if (measure(path) <= width) return path;
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t slash; (slash = path.find('\\', start)) != std::string::npos; start = slash + 1)
    parts.push_back(path.substr(start, slash - start));
  const std::string name = path.substr(start);
  // parts[0] is the drive or root; the folders after it go first.
  for (size_t drop = 1; drop < parts.size(); ++drop) {
    std::string shorter = parts[0] + "\\...";
    for (size_t i = drop + 1; i < parts.size(); ++i) shorter += "\\" + parts[i];
    shorter += "\\" + name;
    if (measure(shorter) <= width) return shorter;
  }
  return parts.empty() ? path : "...\\" + name;
}

std::vector<TDriveNeed> DriveNeeds(const std::vector<std::pair<std::string, int64_t>>& destinations) {
  std::vector<TDriveNeed> needs;
  for (const auto& d : destinations) {
    const std::string& dir = d.first;
    if (dir.size() < 2 || dir[1] != ':' || !std::isalpha(static_cast<unsigned char>(dir[0]))) continue;
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(dir[0])));
    TDriveNeed* found = nullptr;
    for (TDriveNeed& n : needs)
      if (n.Drive == drive) found = &n;
    if (!found) {
      if (static_cast<int>(needs.size()) >= MaxDrives) continue;
      needs.push_back(TDriveNeed{drive, 0});
      found = &needs.back();
    }
    found->Required += d.second;
  }
  return needs;
}

bool TStatusStack::Pop() {
  if (texts_.empty()) return false;
  texts_.pop_back();
  return true;
}

const std::string& TStatusStack::Top() const {
  static const std::string none;
  return texts_.empty() ? none : texts_.back();
}
