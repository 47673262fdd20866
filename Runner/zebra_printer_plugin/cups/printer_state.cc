#include "cups/printer_state.h"

#include <cups/cups.h>
#include <glib.h>

#include <cstring>

#include "cups/cups_connection.h"
#include "text/utf8.h"

namespace corvella {

namespace {

using Clock = std::chrono::steady_clock;

// Whether CUPS can have a queue of this name: what its scheduler accepts
// for a new queue. Any other name would also not survive the trip in a URI
// unchanged ('#', '?', '/').
bool CanBeQueueName(const std::string& name) {
  if (name.empty() || name.size() > 127) return false;
  for (const char character : name) {
    const auto c = static_cast<unsigned char>(character);
    // (A NUL is caught by the first test, before strchr would find one.)
    if (c <= ' ' || c == 0x7f || std::strchr("/\\?'\"#", c) != nullptr) return false;
  }
  return true;
}

// The text of an attribute's value as valid UTF-8 (a server's bytes are not
// trusted to be).
std::string TextOf(const char* value) {
  if (value == nullptr) return {};
  if (IsValidUtf8(value)) return value;
  g_autofree gchar* valid = g_utf8_make_valid(value, -1);
  return valid;
}

PrinterState FromAttributes(ipp_t* response) {
  PrinterState state;
  ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
  switch (attribute != nullptr ? ippGetInteger(attribute, 0) : 0) {
    case IPP_PSTATE_IDLE:
      state.condition = PrinterState::Condition::kIdle;
      break;
    case IPP_PSTATE_PROCESSING:
      state.condition = PrinterState::Condition::kPrinting;
      break;
    case IPP_PSTATE_STOPPED:
      state.condition = PrinterState::Condition::kStopped;
      break;
    default:
      return state;  // a server that does not say: unknown
  }
  attribute = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
  state.accepting = attribute != nullptr && ippGetBoolean(attribute, 0);
  attribute = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD);
  for (int i = 0; attribute != nullptr && i < ippGetCount(attribute); ++i) {
    std::string reason = TextOf(ippGetString(attribute, i, nullptr));
    if (!reason.empty() && reason != "none") state.reasons.push_back(std::move(reason));
  }
  // text or textWithLanguage
  attribute = ippFindAttribute(response, "printer-state-message", IPP_TAG_ZERO);
  if (attribute != nullptr) state.message = TextOf(ippGetString(attribute, 0, nullptr));
  attribute = ippFindAttribute(response, "queued-job-count", IPP_TAG_INTEGER);
  if (attribute != nullptr) state.jobs = ippGetInteger(attribute, 0);
  return state;
}

// The request and its answer on `http`.
PrinterState Ask(http_t* http, const std::string& name) {
  PrinterState state;
  char uri[HTTP_MAX_URI];
  if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                       "/printers/%s", name.c_str()) < HTTP_URI_STATUS_OK) {
    return state;
  }
  static const char* const kAttributes[] = {"printer-state", "printer-state-reasons",
                                            "printer-state-message", "printer-is-accepting-jobs",
                                            "queued-job-count"};
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                G_N_ELEMENTS(kAttributes), nullptr, kAttributes);
  // Takes the request.
  ipp_t* response = cupsDoRequest(http, request, "/");
  const ipp_status_t status = cupsLastError();
  if (status == IPP_STATUS_ERROR_NOT_FOUND) {
    state.condition = PrinterState::Condition::kAbsent;
  } else if (response != nullptr && status <= IPP_STATUS_OK_CONFLICTING) {
    state = FromAttributes(response);
  }
  ippDelete(response);
  return state;
}

}  // namespace

const char* ConditionName(PrinterState::Condition condition) {
  switch (condition) {
    case PrinterState::Condition::kIdle:
      return "idle";
    case PrinterState::Condition::kPrinting:
      return "printing";
    case PrinterState::Condition::kStopped:
      return "stopped";
    case PrinterState::Condition::kAbsent:
      return "absent";
    case PrinterState::Condition::kUnknown:
      break;
  }
  return "unknown";
}

PrinterState ReadPrinterState(const std::string& name, Clock::time_point deadline,
                              const std::atomic<bool>& cancelled) {
  PrinterState state;
  if (!CanBeQueueName(name)) {
    state.condition = PrinterState::Condition::kAbsent;
    return state;
  }
  const CupsConnection connection(deadline, &cancelled);
  if (connection.get() != nullptr) state = Ask(connection.get(), name);
  state.timed_out =
      state.condition == PrinterState::Condition::kUnknown && Clock::now() >= deadline;
  return state;
}

}  // namespace corvella
