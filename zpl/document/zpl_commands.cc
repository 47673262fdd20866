#include "zpl/document/zpl_commands.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace corvella::zpl {
namespace {

// ^A takes its font name as the first parameter character (^A0N,30 or
// ^AGN); every other command code has two characters.
size_t CodeLength(char first) { return g_ascii_toupper(first) == 'A' ? 1 : 2; }

}  // namespace

ZplCommandReader::ZplCommandReader(std::string_view document)
    : document_(document), at_(document.find_first_of(std::string{'^', '~'})) {}

bool ZplCommandReader::next(ZplCommand& command) {
  const std::string_view document = document_;
  const std::string prefixes{format_prefix_, control_prefix_};
  while (at_ != std::string_view::npos && at_ < document.size()) {
    const size_t i = at_;
    command = ZplCommand{};
    command.control = document[i] == control_prefix_ && document[i] != format_prefix_;
    size_t pos = i + 1;
    // Line ends between the prefix and the code are ignored like elsewhere.
    while (command.code.size() < 2 && pos < document.size()) {
      char c = document[pos];
      if (c == '\r' || c == '\n') {
        ++pos;
        continue;
      }
      if (c == format_prefix_ || c == control_prefix_) break;
      command.code.push_back(g_ascii_toupper(c));
      ++pos;
      if (command.code.size() == CodeLength(command.code[0])) break;
    }
    size_t end = document.find_first_of(prefixes, pos);
    if (end == std::string_view::npos) end = document.size();
    // ^CCx / ~CCx / ^CTx / ~CTx: the next character is the new prefix.
    if ((command.code == "CC" || command.code == "CT") && pos < document.size()) {
      char next = document[pos];
      if (next != '\r' && next != '\n' && next != ' ') {
        command.params.assign(1, next);
        if (command.code == "CC") {
          format_prefix_ = next;
        } else {
          control_prefix_ = next;
        }
        at_ = document.find_first_of(std::string{format_prefix_, control_prefix_}, pos + 1);
        return true;
      }
    }
    // ^GFB: after its four parameters come exactly as many bytes as the
    // second one says, whatever they are, prefixes and line ends included.
    if (!command.control && command.code == "GF" && pos + 1 < document.size() &&
        g_ascii_toupper(document[pos]) == 'B' && document[pos + 1] == ',') {
      size_t at = pos;
      for (int commas = 0; commas < 4 && at < document.size(); ++at) {
        if (document[at] == ',') ++commas;
      }
      const std::string_view header = document.substr(pos, at - pos);
      const size_t count_end = header.find(',', 2);
      const size_t count = static_cast<size_t>(
          std::strtoul(std::string(header.substr(2, count_end - 2)).c_str(), nullptr, 10));
      const size_t data_end = at + std::min(count, document.size() - at);
      command.params.assign(document.substr(pos, data_end - pos));
      at_ = document.find_first_of(prefixes, data_end);
      return true;
    }
    command.params.reserve(end - pos);
    for (size_t k = pos; k < end; ++k) {
      if (document[k] != '\r' && document[k] != '\n') command.params.push_back(document[k]);
    }
    at_ = end;
    if (!command.code.empty()) return true;
  }
  return false;
}

std::vector<ZplCommand> ParseZplCommands(std::string_view document) {
  std::vector<ZplCommand> commands;
  ZplCommandReader reader(document);
  ZplCommand command;
  while (reader.next(command)) commands.push_back(std::move(command));
  return commands;
}

std::vector<std::string> SplitParams(std::string_view params, size_t max_parts) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = parts.size() + 1 >= max_parts ? std::string_view::npos : params.find(',', start);
    parts.emplace_back(params.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return parts;
}

std::optional<int> ParamNumber(const std::vector<std::string>& p, size_t i, int lo, int hi) {
  if (i >= p.size() || p[i].empty()) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(p[i].c_str(), &end, 10);
  if (end == p[i].c_str()) return std::nullopt;
  return static_cast<int>(std::clamp<long>(value, lo, hi));
}

int ParamInt(const std::vector<std::string>& p, size_t i, int fallback, int lo, int hi) {
  return ParamNumber(p, i, lo, hi).value_or(fallback);
}

double ParamDouble(const std::vector<std::string>& p, size_t i, double fallback, double lo,
                   double hi) {
  if (i >= p.size() || p[i].empty()) return fallback;
  char* end = nullptr;
  const double value = g_ascii_strtod(p[i].c_str(), &end);
  if (end == p[i].c_str() || !std::isfinite(value)) return fallback;
  return std::clamp(value, lo, hi);
}

char ParamLetter(const std::vector<std::string>& p, size_t i, char fallback) {
  if (i >= p.size() || p[i].empty()) return fallback;
  return g_ascii_toupper(p[i][0]);
}

bool ParamYesNo(const std::vector<std::string>& p, size_t i, bool fallback) {
  const char c = ParamLetter(p, i, fallback ? 'Y' : 'N');
  return c == 'Y' ? true : c == 'N' ? false : fallback;
}

}  // namespace corvella::zpl
