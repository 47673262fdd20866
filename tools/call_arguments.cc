#include "tools/call_arguments.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "Runner/utf8.h"
#include "tools/json_values.h"

namespace corvella {

namespace {

std::optional<std::string> ReadTextFile(const std::string& path, std::string& reason) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    reason = "cannot read " + path;
    return std::nullopt;
  }
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    reason = "cannot read " + path;
    return std::nullopt;
  }
  if (!IsValidUtf8(text)) {
    reason = path + " is not UTF-8 text";
    return std::nullopt;
  }
  return text;
}

// The arguments of one call while they are being read.
struct PendingCall {
  std::string method;
  std::optional<Value> json;
  std::map<std::string, std::string> pairs;
};

std::optional<CallRequest> Finish(PendingCall& pending, std::string& reason) {
  CallRequest call{pending.method, Value()};
  if (pending.json) call.arguments = std::move(*pending.json);
  if (pending.pairs.empty()) return call;
  if (fl_value_get_type(call.arguments.get()) == FL_VALUE_TYPE_NULL) {
    call.arguments = Value::Take(fl_value_new_map());
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
                                                    std::string& reason) {
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
    auto value_of_option = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        reason = word + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };
    if (word == "-h" || word == "--help") {
      line.help = true;
      return line;
    }
    if (word == "--host" || word == "--channel") {
      if (pending || !line.calls.empty()) {
        reason = word + " must come before the first method";
        return std::nullopt;
      }
      std::optional<std::string> value = value_of_option();
      if (!value) return std::nullopt;
      if (word == "--host") {
        line.host = *value;
      } else {
        line.channel = *value;
      }
      continue;
    }
    if (word == "--json") {
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
      reason = "unknown option " + word;
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
      std::optional<std::string> text = ReadTextFile(value.substr(1), reason);
      if (!text) {
        reason = pending->method + ": " + key + ": " + reason;
        return std::nullopt;
      }
      value = std::move(*text);
    } else if (!IsValidUtf8(value)) {
      reason = pending->method + ": the value of " + key + " is not UTF-8 text";
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

Options (before the first method):
  --host PATH      the host program to run (default: corvella beside corvella-call)
  --channel NAME   the method channel (default: zebra_printer_channel)
  -h, --help       show this text

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

Exit status: 0 when the last answer is a success value; 1 when it is an
error or not implemented; 2 for a usage error; 3 when the host could not be
started, had no display, or ended before answering.
)";
}

}  // namespace corvella
