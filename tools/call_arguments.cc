#include "tools/call_arguments.h"

#include <cstdio>
#include <map>
#include <sstream>

#include "submission/zpl_document.h"
#include "text/utf8.h"
#include "tools/command_line.h"
#include "tools/json_values.h"

namespace corvella {

namespace {

// Largest file read for key=@FILE.
constexpr size_t kMaxFileBytes = size_t{1} << 30;

// A hint for text that is not UTF-8: where the first ill-formed byte is, and
// the two ways out.
std::string NotUtf8(const std::string& what, const std::string& text) {
  size_t offset = 0;
  while (offset < text.size() && DecodeUtf8(text, offset)) {
  }
  char byte[8];
  std::snprintf(byte, sizeof byte, "0x%02X",
                static_cast<unsigned>(static_cast<unsigned char>(text[offset])));
  return what + " is not UTF-8 text (byte " + byte + " at offset " + std::to_string(offset) +
         "); convert it (iconv -f CP1252 -t UTF-8) or send graphics as ASCII hex (^GFA)";
}

std::optional<std::string> ReadTextFile(const std::string& path, CallLineProblem& problem) {
  problem.file = true;
  std::optional<std::string> text = ReadInputFile(path, kMaxFileBytes, problem.reason);
  if (!text) return std::nullopt;
  if (!IsValidUtf8(*text)) {
    problem.reason = NotUtf8(path, *text);
    return std::nullopt;
  }
  problem.file = false;
  return text;
}

// The arguments of one call while they are being read.
struct PendingCall {
  std::string method;
  std::optional<Value> json;
  std::map<std::string, std::string> pairs;
};

// The label of a printZPL call as the host will receive it: from
// zplCommands=... with its bytes exactly, else from --json (whose text the
// engine's C API gives up to a NUL).
std::optional<std::string> PrintedLabel(const PendingCall& pending) {
  if (pending.method != "printZPL") return std::nullopt;
  if (auto pair = pending.pairs.find("zplCommands"); pair != pending.pairs.end()) {
    return pair->second;
  }
  if (!pending.json || fl_value_get_type(pending.json->get()) != FL_VALUE_TYPE_MAP) {
    return std::nullopt;
  }
  FlValue* label = fl_value_lookup_string(pending.json->get(), "zplCommands");
  if (label == nullptr || fl_value_get_type(label) != FL_VALUE_TYPE_STRING) return std::nullopt;
  return std::string(fl_value_get_string(label));
}

std::optional<CallRequest> Finish(PendingCall& pending, std::string& reason) {
  CallRequest call{pending.method, Value(), {}};
  if (std::optional<std::string> label = PrintedLabel(pending)) {
    call.warnings = LabelWarnings(pending.method, *label);
  }
  if (pending.json) call.arguments = std::move(*pending.json);
  if (pending.pairs.empty()) return call;
  if (fl_value_get_type(call.arguments.get()) == FL_VALUE_TYPE_NULL) {
    call.arguments = Value::take(fl_value_new_map());
  }
  FlValue* map = call.arguments.get();
  if (fl_value_get_type(map) != FL_VALUE_TYPE_MAP) {
    reason = pending.method + ": key=value arguments need --json to be an object";
    return std::nullopt;
  }
  for (auto& [key, value] : pending.pairs) {
    if (fl_value_lookup_string(map, key.c_str()) != nullptr) {
      reason = pending.method + ": duplicate key \"" + key + "\"";
      return std::nullopt;
    }
    fl_value_set_string_take(map, key.c_str(),
                             fl_value_new_string_sized(value.data(), value.size()));
  }
  return call;
}

}  // namespace

std::optional<CallCommandLine> ParseCallCommandLine(const std::vector<std::string>& args,
                                                    CallLineProblem& problem) {
  problem = {};
  std::string& reason = problem.reason;
  CallCommandLine line;
  std::optional<PendingCall> pending;
  auto finish_pending = [&]() -> bool {
    if (!pending) return true;
    std::optional<CallRequest> call = Finish(*pending, reason);
    if (!call) return false;
    line.calls.push_back(std::move(*call));
    pending.reset();
    return true;
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "-h" || word == "--help") {
      line.help = true;
      return line;
    }
    if (word == "--version") {
      line.version = true;
      return line;
    }
    // An option and its value, as --opt VALUE or --opt=VALUE.
    const std::string option = word.substr(0, word.find('='));
    std::optional<std::string> inline_value;
    if (option.size() < word.size()) inline_value = word.substr(option.size() + 1);
    auto value_of_option = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 >= args.size()) {
        reason = "Missing argument for " + option;
        return std::nullopt;
      }
      return args[++i];
    };
    if (option == "--host" || option == "--channel") {
      if (pending || !line.calls.empty()) {
        reason = option + " must come before the first method";
        return std::nullopt;
      }
      std::optional<std::string> value = value_of_option();
      if (!value) return std::nullopt;
      if (option == "--host") {
        line.host = *value;
      } else {
        line.channel = *value;
      }
      continue;
    }
    if (option == "--json") {
      if (!pending) {
        reason = "--json must follow a method";
        return std::nullopt;
      }
      if (pending->json) {
        reason = pending->method + ": --json given twice";
        return std::nullopt;
      }
      std::optional<std::string> text = value_of_option();
      if (!text) return std::nullopt;
      std::string json_error;
      pending->json = ParseJson(*text, json_error);
      if (!pending->json) {
        reason = pending->method + ": --json: " + json_error;
        return std::nullopt;
      }
      continue;
    }
    if (word.size() > 1 && word[0] == '-') {
      reason = "Unknown option " + word;
      return std::nullopt;
    }
    const size_t equals = word.find('=');
    if (equals == std::string::npos) {
      if (word.empty()) {
        reason = "an empty method name";
        return std::nullopt;
      }
      if (!finish_pending()) return std::nullopt;
      pending = PendingCall{word, std::nullopt, {}};
      continue;
    }
    if (!pending) {
      reason = "the argument " + word + " must follow a method";
      return std::nullopt;
    }
    std::string key = word.substr(0, equals);
    std::string value = word.substr(equals + 1);
    if (key.empty()) {
      reason = pending->method + ": an argument needs a key before '='";
      return std::nullopt;
    }
    if (!value.empty() && value[0] == '@') {
      std::optional<std::string> text = ReadTextFile(value.substr(1), problem);
      if (!text) {
        reason = pending->method + ": " + key + ": " + reason;
        return std::nullopt;
      }
      value = std::move(*text);
    } else if (!IsValidUtf8(value)) {
      reason = pending->method + ": " + NotUtf8("the value of " + key, value);
      return std::nullopt;
    }
    if (!pending->pairs.emplace(key, std::move(value)).second) {
      reason = pending->method + ": duplicate key \"" + key + "\"";
      return std::nullopt;
    }
  }
  if (!finish_pending()) return std::nullopt;
  if (line.calls.empty()) {
    reason = "no method to call";
    return std::nullopt;
  }
  return line;
}

std::vector<std::string> LabelWarnings(const std::string& method, std::string_view text) {
  std::vector<std::string> warnings;
  const std::string prefix = method + ": zplCommands ";
  if (text.empty()) {
    warnings.push_back(prefix + "is empty: the printer gets an empty job");
    return warnings;
  }
  // Commands are read without regard to case, as a printer reads them. The
  // host ends a document that holds no "^XZ" with one, so what the printer
  // gets holds a label when an "^XA" is followed by an "^XZ" of the text's
  // own, or by the host's.
  std::string upper(text);
  for (char& c : upper) c = g_ascii_toupper(c);
  const size_t start = upper.find("^XA");
  if (start == std::string::npos ||
      (ContainsEndOfFormat(text) && upper.find("^XZ", start) == std::string::npos)) {
    warnings.push_back(prefix + "holds no label (^XA ... ^XZ): a printer prints nothing of it");
  }
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    warnings.push_back(prefix + "holds a NUL byte at offset " + std::to_string(nul) +
                       ": the host's text ends there (the engine's C API reads it up to the "
                       "NUL), so the printer gets only the " +
                       std::to_string(nul) + " bytes before it");
  }
  return warnings;
}

std::string CallUsage() {
  return R"(Usage: corvella-call [--host PATH] [--channel NAME] METHOD [ARG...] [METHOD [ARG...]]...

Starts the Corvella host, sends each METHOD call to it in one session (so a
printer selected by one call stays selected for the calls after it), prints
each answer as one line of JSON, then closes the host.

Arguments of a call (together they make the call's argument map):
  key=value        the text "value" under "key"
  key=@FILE        the contents of FILE (UTF-8 text) under "key"
  --json JSON      the whole argument value as JSON, e.g. --json '{"printerName":"X"}';
                   key=value arguments add to it when it is an object
A call with no arguments sends none. Any other word starts the next call.

Options (before the first method; --opt VALUE or --opt=VALUE):
  --host PATH      the host program to run (default: corvella beside corvella-call)
  --channel NAME   the method channel (default: zebra_printer_channel)
  -h, --help       show this text
  --version        show the version

Methods of zebra_printer_channel:
  initialize                      -> true
  getAvailablePrinters            -> ["Printer_A","Printer_B"]
  getDefaultPrinter               -> "Printer_A" ("" when there is none)
  connectToDefaultPrinter         -> true (the default printer is selected), false (none)
  connectToPrinter printerName=N  -> true (N is selected)
  printZPL zplCommands=ZPL        -> true (queued) or false; an error NO_PRINTER when no
                                     printer is selected
  getPrinterStatus                -> {"connected":true,"printerName":"Printer_A"}
  disconnect                      -> true
  getPrinterState [printerName=N] -> {"printerName":"N","state":"stopped","accepting":true,
                                     "reasons":["paused"],"message":"Out of labels","jobs":3};
                                     state: idle, printing, stopped, absent (no such queue)
                                     or unknown (no answer within 5 s), the last two with
                                     printerName and state only; without N the selected
                                     printer, NO_PRINTER when none

Answers, one line each:
  true, "text", ["A","B"], {"connected":true,"printerName":"X"}  a success value
  {"error":{"code":"NO_PRINTER","message":"...","details":null}}   an error
  {"notImplemented":true}                                          an unknown method

Examples:
  corvella-call getAvailablePrinters
  corvella-call connectToPrinter printerName=Zebra_ZD420 getPrinterStatus
  corvella-call connectToDefaultPrinter printZPL zplCommands=@label.zpl
  corvella-call connectToDefaultPrinter printZPL --json '{"zplCommands":"^XA^FDHi^FS^XZ"}'

The host uses the print system of the environment it is started in (for
example CUPS_SERVER). It opens a window, so it needs a display; where there
is none (a server, a container, CI) run it under a virtual one:
  xvfb-run -a corvella-call getAvailablePrinters

A printZPL label that is empty, holds no ^XA ... ^XZ or holds a NUL byte (at
which the host's text ends) is sent all the same, with a warning.

Exit status:
  0  every call succeeded
  1  a call failed: it answered an error or not implemented, or printZPL or
     connectToDefaultPrinter answered false (standard error names the call;
     the calls after it are still made)
  2  a usage error
  3  the host could not be started, had no display, or ended before answering
  4  a key=@FILE file could not be read or is not UTF-8 text
)";
}

}  // namespace corvella
