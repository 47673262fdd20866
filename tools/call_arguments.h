#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/channel_values.h"

namespace corvella {

// One method call of a corvella-call command line.
struct CallRequest {
  std::string method;
  Value arguments;  // null when the call has none
  // What is odd about a printZPL call's label (see LabelWarnings).
  std::vector<std::string> warnings;
};

// A corvella-call command line, read.
struct CallCommandLine {
  bool help = false;
  bool version = false;
  std::optional<std::string> host;  // --host PATH
  std::string channel = "zebra_printer_channel";
  std::vector<CallRequest> calls;
};

// Why a command line was refused: a usage mistake, or a file named by
// key=@FILE that cannot be read or is not UTF-8 text.
struct CallLineProblem {
  std::string reason;
  bool file = false;
};

// Reads the arguments after the program name:
//   [--host PATH] [--channel NAME] METHOD [ARG...] [METHOD [ARG...]]...
// where each ARG is key=value (text), key=@FILE (the file's UTF-8 text) or
// --json JSON (the whole argument value; key=value pairs add to it when it
// is an object). Options take their value as --opt VALUE or --opt=VALUE.
// Any other word starts the next call. std::nullopt with `problem` set for
// a usage mistake (an unknown option, a missing option value, an empty key,
// a duplicate key, invalid JSON, key=value next to a non-object --json, or
// no call at all unless --help or --version) or a file problem.
std::optional<CallCommandLine> ParseCallCommandLine(const std::vector<std::string>& args,
                                                    CallLineProblem& problem);

// What is odd about `label`, the zplCommands text of a call of `method`,
// which goes out all the same: an empty text, no label (^XA ... ^XZ) in it,
// or a NUL byte, at which the host (through the engine's C API) ends the
// text. Each warning names the method.
std::vector<std::string> LabelWarnings(const std::string& method, std::string_view label);

// The --help text.
std::string CallUsage();

}  // namespace corvella
