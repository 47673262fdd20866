#include "channel/printer_channel.h"

#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "channel/argument_rule.h"
#include "channel/dispatch_queues.h"

namespace corvella {

namespace {

// The one place that answers a call, on the main thread. A call is answered
// once; the engine refuses (and this reports) any second answer.
void Respond(FlMethodCall* call, FlMethodResponse* response) {
  g_autoptr(GError) error = nullptr;
  if (!fl_method_call_respond(call, response, &error)) {
    g_warning("Failed to answer %s: %s", fl_method_call_get_name(call), error->message);
  }
}

FlMethodResponse* Success(FlValue* value) {
  return FL_METHOD_RESPONSE(fl_method_success_response_new(value));
}

FlMethodResponse* Boolean(bool value) {
  g_autoptr(FlValue) result = fl_value_new_bool(value);
  return Success(result);
}

FlMethodResponse* Text(const std::string& text) {
  g_autoptr(FlValue) result = fl_value_new_string(text.c_str());
  return Success(result);
}

FlMethodResponse* Error(const char* code, const char* message) {
  return FL_METHOD_RESPONSE(fl_method_error_response_new(code, message, nullptr));
}

FlMethodResponse* NoPrinter() { return Error("NO_PRINTER", "No printer connected"); }

// A reference to a call that a work item answers later: the shared-ownership
// result holder. The call is released with the last reference.
using HeldCall = std::shared_ptr<FlMethodCall>;

HeldCall Hold(FlMethodCall* call) {
  return HeldCall(FL_METHOD_CALL(g_object_ref(call)), g_object_unref);
}

// Answers a held call on the main queue with what `answer` gives there; the
// call is released there too.
void RespondLater(HeldCall held, std::function<FlMethodResponse*()> answer) {
  RunOnMainThread([held = std::move(held), answer = std::move(answer)] {
    g_autoptr(FlMethodResponse) response = answer();
    Respond(held.get(), response);
  });
}

// {printerName, state} and, for a queue that the scheduler described,
// accepting, reasons, message and jobs.
FlValue* PrinterStateValue(const std::string& printer_name, const PrinterState& state) {
  FlValue* map = fl_value_new_map();
  fl_value_set_string_take(map, "printerName", fl_value_new_string(printer_name.c_str()));
  fl_value_set_string_take(map, "state", fl_value_new_string(ConditionName(state.condition)));
  if (state.condition == PrinterState::Condition::kAbsent ||
      state.condition == PrinterState::Condition::kUnknown) {
    return map;
  }
  fl_value_set_string_take(map, "accepting", fl_value_new_bool(state.accepting));
  FlValue* reasons = fl_value_new_list();
  for (const std::string& reason : state.reasons) {
    fl_value_append_take(reasons, fl_value_new_string(reason.c_str()));
  }
  fl_value_set_string_take(map, "reasons", reasons);
  fl_value_set_string_take(map, "message", fl_value_new_string(state.message.c_str()));
  fl_value_set_string_take(map, "jobs", fl_value_new_int(state.jobs));
  return map;
}

}  // namespace

// Compared in this order; the first exact (case-sensitive, whole-text) match
// wins.
const PrinterChannel::Entry PrinterChannel::kMethodTable[] = {
    {"initialize", &PrinterChannel::initialize},
    {"getAvailablePrinters", &PrinterChannel::getAvailablePrinters},
    {"getDefaultPrinter", &PrinterChannel::getDefaultPrinter},
    {"connectToDefaultPrinter", &PrinterChannel::connectToDefaultPrinter},
    {"connectToPrinter", &PrinterChannel::connectToPrinter},
    {"printZPL", &PrinterChannel::printZPL},
    {"getPrinterStatus", &PrinterChannel::getPrinterStatus},
    {"disconnect", &PrinterChannel::disconnect},
    {"getPrinterState", &PrinterChannel::getPrinterState},
};

PrinterChannel::PrinterChannel(const PrintTools& tools, GApplication* application)
    : discovery_(tools),
      state_queries_(discovery_),
      submission_(tools),
      // At the application's end, the outage check's lpstat and the state
      // queries' threads go with it.
      end_(application, [this] {
        state_queries_.stop();
        discovery_.stopChecking();
      }) {}

void PrinterChannel::handleMethodCall(FlMethodCall* call) {
  const std::string_view name = fl_method_call_get_name(call);
  g_autoptr(FlMethodResponse) response = nullptr;
  bool found = false;
  for (const Entry& entry : kMethodTable) {
    if (name == entry.name) {
      response = (this->*entry.method)(call);
      found = true;
      break;
    }
  }
  if (!found) response = FL_METHOD_RESPONSE(fl_method_not_implemented_response_new());
  if (response != nullptr) Respond(call, response);
}

FlMethodResponse* PrinterChannel::initialize(FlMethodCall*) { return Boolean(true); }

// The two queries are answered by main-queue work items after the handler
// has returned.
FlMethodResponse* PrinterChannel::getAvailablePrinters(FlMethodCall* call) {
  RespondLater(Hold(call), [channel = weak_from_this()] {
    g_autoptr(FlValue) list = fl_value_new_list();
    if (std::shared_ptr<PrinterChannel> self = channel.lock()) {
      for (const std::string& name : self->discovery_.getPrinterNames()) {
        fl_value_append_take(list, fl_value_new_string(name.c_str()));
      }
    }
    return Success(list);
  });
  return nullptr;
}

FlMethodResponse* PrinterChannel::getDefaultPrinter(FlMethodCall* call) {
  RespondLater(Hold(call), [channel = weak_from_this()] {
    std::shared_ptr<PrinterChannel> self = channel.lock();
    return Text(self ? self->discovery_.getDefaultPrinterName().value_or("") : "");
  });
  return nullptr;
}

FlMethodResponse* PrinterChannel::connectToDefaultPrinter(FlMethodCall*) {
  std::optional<std::string> name = discovery_.getDefaultPrinterName();
  if (!name) return Boolean(false);
  current_printer_name_ = std::move(name);
  return Boolean(true);
}

FlMethodResponse* PrinterChannel::connectToPrinter(FlMethodCall* call) {
  std::optional<std::string_view> name = TextArgument(fl_method_call_get_args(call), "printerName");
  if (!name) return Error("INVALID_ARGUMENTS", "printerName is required");
  current_printer_name_ = std::string(*name);
  return Boolean(true);
}

FlMethodResponse* PrinterChannel::printZPL(FlMethodCall* call) {
  if (!current_printer_name_ || current_printer_name_->empty()) return NoPrinter();
  std::optional<std::string_view> zpl = TextArgument(fl_method_call_get_args(call), "zplCommands");
  if (!zpl) return Error("INVALID_ARGUMENTS", "zplCommands is required");
  // The work item owns its copy of the name: a later "connectToPrinter" or
  // "disconnect" cannot redirect this label. The document is read where the
  // held call keeps it, unchanged until the call is released, which happens
  // on the main thread once it is answered: a large label is never copied.
  // end_ counts the print until its answer, and may end it first when the
  // application ends.
  std::shared_ptr<PrintInFlight> print = end_.printStarted();
  RunInBackground([submission = submission_, printer_name = *current_printer_name_, zpl = *zpl,
                   held = Hold(call), print, channel = weak_from_this()]() mutable {
    bool queued = false;
    if (print->begin()) {
      queued = submission.submitZplToPrinter(printer_name, zpl, print->stopper());
      print->finish(queued);
    }
    RespondLater(std::move(held), [queued, print = std::move(print), channel = std::move(channel)] {
      if (std::shared_ptr<PrinterChannel> self = channel.lock()) self->end_.printFinished(print);
      return Boolean(queued);
    });
  });
  return nullptr;
}

FlMethodResponse* PrinterChannel::getPrinterStatus(FlMethodCall*) {
  g_autoptr(FlValue) status = fl_value_new_map();
  fl_value_set_string_take(status, "connected",
                           fl_value_new_bool(current_printer_name_.has_value()));
  if (current_printer_name_) {
    fl_value_set_string_take(status, "printerName",
                             fl_value_new_string(current_printer_name_->c_str()));
  }
  return Success(status);
}

FlMethodResponse* PrinterChannel::disconnect(FlMethodCall*) {
  current_printer_name_.reset();
  return Boolean(true);
}

// The state of the queue that "printerName" names, or else of the selected
// one. Read off the main thread and answered on it; print-system trouble is
// a state ("unknown"), never an error.
FlMethodResponse* PrinterChannel::getPrinterState(FlMethodCall* call) {
  std::string printer_name;
  if (std::optional<std::string_view> name =
          TextArgument(fl_method_call_get_args(call), "printerName")) {
    printer_name = *name;
  } else if (current_printer_name_ && !current_printer_name_->empty()) {
    printer_name = *current_printer_name_;
  } else {
    return NoPrinter();
  }
  state_queries_.ask(printer_name, [held = Hold(call), printer_name](const PrinterState& state) {
    g_autoptr(FlValue) value = PrinterStateValue(printer_name, state);
    g_autoptr(FlMethodResponse) response = Success(value);
    Respond(held.get(), response);
  });
  return nullptr;
}

}  // namespace corvella
