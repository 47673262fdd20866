#include "tools/zpl/zpl_commands.h"

#include <cctype>

namespace corvella::zpl {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// ^A takes its font name as the first parameter character (^A0N,30 or
// ^AGN); every other command code has two characters.
size_t CodeLength(char first) { return Upper(first) == 'A' ? 1 : 2; }

}  // namespace

std::vector<ZplCommand> ParseZplCommands(std::string_view document) {
  std::vector<ZplCommand> commands;
  char format_prefix = '^';
  char control_prefix = '~';
  size_t i = document.find_first_of(std::string{format_prefix, control_prefix});
  while (i != std::string_view::npos && i < document.size()) {
    ZplCommand command;
    command.control = document[i] == control_prefix && document[i] != format_prefix;
    size_t pos = i + 1;
    // Line ends between the prefix and the code are ignored like elsewhere.
    while (command.code.size() < 2 && pos < document.size()) {
      char c = document[pos];
      if (c == '\r' || c == '\n') {
        ++pos;
        continue;
      }
      if (c == format_prefix || c == control_prefix) break;
      command.code.push_back(Upper(c));
      ++pos;
      if (command.code.size() == CodeLength(command.code[0])) break;
    }
    size_t end = document.find_first_of(std::string{format_prefix, control_prefix}, pos);
    if (end == std::string_view::npos) end = document.size();
    // ^CCx / ~CCx / ^CTx / ~CTx: the next character is the new prefix.
    if ((command.code == "CC" || command.code == "CT") && pos < document.size()) {
      char next = document[pos];
      if (next != '\r' && next != '\n' && next != ' ') {
        command.params.assign(1, next);
        if (command.code == "CC") {
          format_prefix = next;
        } else {
          control_prefix = next;
        }
        end = document.find_first_of(std::string{format_prefix, control_prefix}, pos + 1);
        if (end == std::string_view::npos) end = document.size();
        commands.push_back(std::move(command));
        i = end;
        continue;
      }
    }
    command.params.reserve(end - pos);
    for (size_t k = pos; k < end; ++k) {
      if (document[k] != '\r' && document[k] != '\n') command.params.push_back(document[k]);
    }
    if (!command.code.empty()) commands.push_back(std::move(command));
    i = end;
  }
  return commands;
}

std::vector<std::string> SplitParams(std::string_view params) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = params.find(',', start);
    parts.emplace_back(params.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return parts;
}

}  // namespace corvella::zpl
