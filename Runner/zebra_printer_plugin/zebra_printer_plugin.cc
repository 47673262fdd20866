#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "channel/application_end.h"
#include "channel/argument_rule.h"
#include "channel/dispatch_queues.h"
#include "cups/printer_discovery.h"
#include "cups/printer_state_queries.h"
#include "submission/zpl_submission.h"
#include "zebra_printer_plugin_private.h"

struct _ZebraPrinterPlugin {
  GObject parent_instance;
  // The selected queue; nullptr while none is selected (empty text is a
  // selection). Read and written on the main thread only.
  gchar* currentPrinterName_;
  // Set at registration; released in dispose.
  corvella::PrinterDiscovery* discovery_;
  corvella::ZplSubmission* submission_;
  corvella::PrinterStateQueries* state_queries_;
  // Holds the application on for the prints in flight when it ends.
  corvella::ApplicationEnd* end_;
};

G_DEFINE_TYPE(ZebraPrinterPlugin, zebra_printer_plugin, G_TYPE_OBJECT)

static void zebra_printer_plugin_dispose(GObject* object) {
  ZebraPrinterPlugin* self = ZEBRA_PRINTER_PLUGIN(object);
  g_clear_pointer(&self->currentPrinterName_, g_free);
  // end_ first: its shutdown hook reaches the discovery.
  delete std::exchange(self->end_, nullptr);
  // Before the discovery, whose outage mark its threads use.
  delete std::exchange(self->state_queries_, nullptr);
  delete std::exchange(self->discovery_, nullptr);
  delete std::exchange(self->submission_, nullptr);
  G_OBJECT_CLASS(zebra_printer_plugin_parent_class)->dispose(object);
}

static void zebra_printer_plugin_class_init(ZebraPrinterPluginClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = zebra_printer_plugin_dispose;
}

static void zebra_printer_plugin_init(ZebraPrinterPlugin*) {}

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

FlMethodResponse* Error(const char* code, const char* message) {
  return FL_METHOD_RESPONSE(fl_method_error_response_new(code, message, nullptr));
}

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

// Each method gives its answer, or nullptr when a work item answers later.
// Returns: (transfer full).
using Method = FlMethodResponse* (*)(ZebraPrinterPlugin* self, FlMethodCall* call);

FlMethodResponse* initialize(ZebraPrinterPlugin*, FlMethodCall*) { return Boolean(true); }

// The two queries are answered by main-queue work items after the handler has
// returned. The plug-in lives as long as the process (its channel keeps it),
// and the item holds a reference besides.
FlMethodResponse* getAvailablePrinters(ZebraPrinterPlugin* self, FlMethodCall* call) {
  RespondLater(Hold(call), [self = ZEBRA_PRINTER_PLUGIN(g_object_ref(self))] {
    g_autoptr(FlValue) list = fl_value_new_list();
    for (const std::string& name : self->discovery_->getPrinterNames()) {
      fl_value_append_take(list, fl_value_new_string(name.c_str()));
    }
    g_object_unref(self);
    return Success(list);
  });
  return nullptr;
}

FlMethodResponse* getDefaultPrinter(ZebraPrinterPlugin* self, FlMethodCall* call) {
  RespondLater(Hold(call), [self = ZEBRA_PRINTER_PLUGIN(g_object_ref(self))] {
    std::optional<std::string> name = self->discovery_->getDefaultPrinterName();
    g_object_unref(self);
    g_autoptr(FlValue) text = fl_value_new_string(name.value_or(std::string()).c_str());
    return Success(text);
  });
  return nullptr;
}

FlMethodResponse* connectToDefaultPrinter(ZebraPrinterPlugin* self, FlMethodCall*) {
  std::optional<std::string> name = self->discovery_->getDefaultPrinterName();
  if (!name) return Boolean(false);
  g_free(self->currentPrinterName_);
  self->currentPrinterName_ = g_strdup(name->c_str());
  return Boolean(true);
}

FlMethodResponse* connectToPrinter(ZebraPrinterPlugin* self, FlMethodCall* call) {
  std::optional<std::string_view> name = TextArgument(fl_method_call_get_args(call), "printerName");
  if (!name) return Error("INVALID_ARGUMENTS", "printerName is required");
  g_free(self->currentPrinterName_);
  self->currentPrinterName_ = g_strndup(name->data(), name->size());
  return Boolean(true);
}

FlMethodResponse* printZPL(ZebraPrinterPlugin* self, FlMethodCall* call) {
  if (self->currentPrinterName_ == nullptr || self->currentPrinterName_[0] == '\0') {
    return Error("NO_PRINTER", "No printer connected");
  }
  std::string printerName = self->currentPrinterName_;
  std::optional<std::string_view> zpl = TextArgument(fl_method_call_get_args(call), "zplCommands");
  if (!zpl) return Error("INVALID_ARGUMENTS", "zplCommands is required");
  // The work item owns its copy of the name: a later "connectToPrinter" or
  // "disconnect" cannot redirect this label. The document is read where the
  // held call keeps it, unchanged until the call is released, which happens
  // on the main thread once it is answered: a large label is never copied.
  // The item keeps the plug-in, whose end_ counts the print until its answer
  // and may end it first when the application ends.
  std::shared_ptr<PrintInFlight> print = self->end_->printStarted();
  RunInBackground([submission = *self->submission_, printerName = std::move(printerName),
                   zpl = *zpl, held = Hold(call), print,
                   self = ZEBRA_PRINTER_PLUGIN(g_object_ref(self))]() mutable {
    bool queued = false;
    if (print->begin()) {
      queued = submission.submitZplToPrinter(printerName, zpl, print->stopper());
      print->finish(queued);
    }
    RespondLater(std::move(held), [queued, print = std::move(print), self] {
      self->end_->printFinished(print);
      g_object_unref(self);
      return Boolean(queued);
    });
  });
  return nullptr;
}

FlMethodResponse* getPrinterStatus(ZebraPrinterPlugin* self, FlMethodCall*) {
  g_autoptr(FlValue) status = fl_value_new_map();
  fl_value_set_string_take(status, "connected",
                           fl_value_new_bool(self->currentPrinterName_ != nullptr));
  if (self->currentPrinterName_ != nullptr) {
    fl_value_set_string_take(status, "printerName", fl_value_new_string(self->currentPrinterName_));
  }
  return Success(status);
}

FlMethodResponse* disconnect(ZebraPrinterPlugin* self, FlMethodCall*) {
  g_clear_pointer(&self->currentPrinterName_, g_free);
  return Boolean(true);
}

// {printerName, state} and, for a queue that the scheduler described,
// accepting, reasons, message and jobs.
FlValue* PrinterStateValue(const std::string& printerName, const PrinterState& state) {
  FlValue* map = fl_value_new_map();
  fl_value_set_string_take(map, "printerName", fl_value_new_string(printerName.c_str()));
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

// The state of the queue that "printerName" names, or else of the selected
// one. Read off the main thread and answered on it; print-system trouble is
// a state ("unknown"), never an error.
FlMethodResponse* getPrinterState(ZebraPrinterPlugin* self, FlMethodCall* call) {
  std::string printerName;
  if (std::optional<std::string_view> name =
          TextArgument(fl_method_call_get_args(call), "printerName")) {
    printerName = *name;
  } else if (self->currentPrinterName_ != nullptr && self->currentPrinterName_[0] != '\0') {
    printerName = self->currentPrinterName_;
  } else {
    return Error("NO_PRINTER", "No printer connected");
  }
  self->state_queries_->ask(printerName,
                            [held = Hold(call), printerName](const PrinterState& state) {
                              g_autoptr(FlValue) value = PrinterStateValue(printerName, state);
                              g_autoptr(FlMethodResponse) response = Success(value);
                              Respond(held.get(), response);
                            });
  return nullptr;
}

// Compared in this order; the first exact (case-sensitive, whole-text) match
// wins.
constexpr struct {
  std::string_view name;
  Method method;
} kMethodTable[] = {
    {"initialize", initialize},
    {"getAvailablePrinters", getAvailablePrinters},
    {"getDefaultPrinter", getDefaultPrinter},
    {"connectToDefaultPrinter", connectToDefaultPrinter},
    {"connectToPrinter", connectToPrinter},
    {"printZPL", printZPL},
    {"getPrinterStatus", getPrinterStatus},
    {"disconnect", disconnect},
    {"getPrinterState", getPrinterState},
};

// The handler: answers at once, or leaves the answer to a work item; never
// both, never twice.
void HandleMethodCall(FlMethodChannel*, FlMethodCall* call, gpointer user_data) {
  ZebraPrinterPlugin* self = ZEBRA_PRINTER_PLUGIN(user_data);
  const std::string_view name = fl_method_call_get_name(call);
  g_autoptr(FlMethodResponse) response = nullptr;
  bool found = false;
  for (const auto& entry : kMethodTable) {
    if (name == entry.name) {
      response = entry.method(self, call);
      found = true;
      break;
    }
  }
  if (!found) response = FL_METHOD_RESPONSE(fl_method_not_implemented_response_new());
  if (response != nullptr) Respond(call, response);
}

}  // namespace

void RegisterZebraPrinterPlugin(FlPluginRegistrar* registrar, PrintTools tools) {
  g_return_if_fail(FL_IS_PLUGIN_REGISTRAR(registrar));
  ZebraPrinterPlugin* plugin =
      ZEBRA_PRINTER_PLUGIN(g_object_new(zebra_printer_plugin_get_type(), nullptr));
  plugin->discovery_ = new PrinterDiscovery(tools);
  plugin->submission_ = new ZplSubmission(tools);
  plugin->state_queries_ = new PrinterStateQueries(*plugin->discovery_);
  // At the application's end, the outage check's lpstat and the state
  // queries' threads go with it.
  plugin->end_ =
      new ApplicationEnd(g_application_get_default(),
                         [discovery = plugin->discovery_, state_queries = plugin->state_queries_] {
                           state_queries->stop();
                           discovery->stopChecking();
                         });
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(FlMethodChannel) channel = fl_method_channel_new(
      fl_plugin_registrar_get_messenger(registrar), kZebraPrinterChannel, FL_METHOD_CODEC(codec));
  // The channel takes the plug-in's one reference.
  fl_method_channel_set_method_call_handler(channel, HandleMethodCall, plugin, g_object_unref);
}

}  // namespace corvella

void zebra_printer_plugin_register_with_registrar(FlPluginRegistrar* registrar) {
  corvella::RegisterZebraPrinterPlugin(registrar, corvella::PrintTools{});
}
