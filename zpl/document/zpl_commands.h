#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::zpl {

// One command of a ZPL document: its prefix (the format prefix '^' or the
// control prefix '~', whatever characters the document chose for them), its
// code ("FO", "A", "GF", ...) and the raw text of its parameters up to the
// next command. Line ends are removed from the parameters, as a printer
// ignores them anywhere in a document.
struct ZplCommand {
  bool control = false;  // a '~' command
  std::string code;      // upper case
  std::string params;
};

// Reads a document's commands one at a time, as ParseZplCommands splits
// it; the document must outlive the reader.
class ZplCommandReader {
 public:
  explicit ZplCommandReader(std::string_view document);
  // The next command in `command`; false after the last.
  bool next(ZplCommand& command);

 private:
  std::string_view document_;
  size_t at_;
  char format_prefix_ = '^';
  char control_prefix_ = '~';
};

// Splits a document into commands. Any byte sequence is accepted: text
// before the first prefix is dropped, ^CC / ~CC / ^CT / ~CT change the prefix
// characters for the rest of the document, and the field data of ^FD, ^FV
// and ^FX keeps every byte but line ends up to the next prefix.
std::vector<ZplCommand> ParseZplCommands(std::string_view document);

// The parameters of a command split at commas ("10,,3" -> "10", "", "3").
// With `max_parts`, the last part is the rest of the text, commas and all:
// the data of ^GF and ~DG after their size parameters.
std::vector<std::string> SplitParams(std::string_view params, size_t max_parts = SIZE_MAX);

// Parameter i read as a number clamped to [lo, hi], as an upper-case letter,
// or as Y/N; `fallback` when it is missing, empty or not of that kind.
int ParamInt(const std::vector<std::string>& p, size_t i, int fallback, int lo, int hi);
std::optional<int> ParamNumber(const std::vector<std::string>& p, size_t i, int lo, int hi);
double ParamDouble(const std::vector<std::string>& p, size_t i, double fallback, double lo,
                   double hi);
char ParamLetter(const std::vector<std::string>& p, size_t i, char fallback);
bool ParamYesNo(const std::vector<std::string>& p, size_t i, bool fallback);

}  // namespace corvella::zpl
