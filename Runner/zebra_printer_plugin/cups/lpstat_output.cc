#include "cups/lpstat_output.h"

#include <unordered_set>

#include "text/grapheme_text.h"
#include "text/unicode_text.h"

namespace corvella {

std::vector<std::string> LpstatOutput::printerNames(std::string_view output) {
  std::vector<std::string_view> candidates;
  for (std::string_view line : SplitAtCharacter(output, '\n')) {
    if (line.front() == '\t') continue;
    if (std::optional<std::string_view> word = FirstPiece(line, ' ')) {
      candidates.push_back(*word);
    }
  }
  return unique(candidates);
}

std::optional<std::string> LpstatOutput::defaultPrinter(std::string_view output) {
  std::string answer = TrimPlatformWhitespace(output);
  if (answer.rfind("lpstat:", 0) == 0) return std::nullopt;
  std::optional<size_t> colon = FindLastCharacter(output, ':');
  if (!colon) return std::nullopt;
  std::string name = TrimPlatformWhitespace(output.substr(*colon + 1));
  if (name.empty()) return std::nullopt;
  return name;
}

std::vector<std::string> LpstatOutput::unique(const std::vector<std::string_view>& names) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seen;
  for (std::string_view name : names) {
    std::string trimmed = TrimPlatformWhitespace(name);
    if (trimmed.empty()) continue;
    if (!seen.insert(CanonicalForm(trimmed)).second) continue;
    result.push_back(std::move(trimmed));
  }
  return result;
}

std::vector<std::string> LpstatOutput::unique(const std::vector<std::string>& names) {
  return unique(std::vector<std::string_view>(names.begin(), names.end()));
}

}  // namespace corvella
