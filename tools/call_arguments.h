#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/channel_values.h"

namespace corvella {

// One method call of a corvella-call command line.
struct CallRequest {
  std::string method;
  Value arguments;  // null when the call has none
};

// A corvella-call command line, read.
struct CallCommandLine {
  bool help = false;
  std::optional<std::string> host;  // --host PATH
  std::string channel = "zebra_printer_channel";
  std::vector<CallRequest> calls;
};

// Reads the arguments after the program name:
//   [--host PATH] [--channel NAME] METHOD [ARG...] [METHOD [ARG...]]...
// where each ARG is key=value (text), key=@FILE (the file's UTF-8 text) or
// --json JSON (the whole argument value; key=value pairs add to it when it
// is an object). Any other word starts the next call. std::nullopt with
// `reason` set for a usage reason: an unknown option, a missing option value,
// an empty key, a duplicate key, an unreadable or non-UTF-8 file, invalid
// JSON, key=value next to a non-object --json, or no call at all (unless
// --help).
std::optional<CallCommandLine> ParseCallCommandLine(const std::vector<std::string>& args,
                                                    std::string& reason);

// The --help text.
std::string CallUsage();

}  // namespace corvella
