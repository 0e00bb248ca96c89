#include "editor/file_filters.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::vector<std::string> SplitAtBars(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == '|') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string TrimTrailingBlanks(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// One pattern of a filter (several are separated by ';') in Qt's form.
std::string QtPatterns(const std::string& patterns, bool upperCaseToo) {
  std::string result;
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(';', start);
    if (end == std::string::npos) end = patterns.size();
    const std::string pattern = patterns.substr(start, end - start);
    start = end + 1;
    if (pattern.empty()) continue;
    if (!result.empty()) result += ' ';
    if (pattern == "*.*") {
      result += '*';
      continue;
    }
    result += pattern;
    std::string upper = pattern;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upperCaseToo && upper != pattern) result += ' ' + upper;
  }
  return result;
}

}  // namespace

std::string QtFilterFromClassic(const std::string& classic, bool upperCaseToo) {
  const std::vector<std::string> parts = SplitAtBars(classic);
  std::string result;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) break;  // the closing "||"
    if (!result.empty()) result += ";;";
    result += TrimTrailingBlanks(parts[i]) + " (" + QtPatterns(parts[i + 1], upperCaseToo) + ")";
  }
  return result;
}
