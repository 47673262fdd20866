#include "zebra_printer_plugin.h"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "argument_rule.h"
#include "dispatch_queues.h"
#include "printer_discovery.h"
#include "zpl_submission.h"

struct _ZebraPrinterPlugin {
  GObject parent_instance;
  // Constructed in init, destroyed in finalize.
  std::optional<std::string> currentPrinterName_;
  corvella::PrinterDiscovery discovery_;
  corvella::ZplSubmission submission_;
};

G_DEFINE_TYPE(ZebraPrinterPlugin, zebra_printer_plugin, G_TYPE_OBJECT)

static void zebra_printer_plugin_finalize(GObject* object) {
  ZebraPrinterPlugin* self = ZEBRA_PRINTER_PLUGIN(object);
  self->currentPrinterName_.~optional();
  self->discovery_.~PrinterDiscovery();
  self->submission_.~ZplSubmission();
  G_OBJECT_CLASS(zebra_printer_plugin_parent_class)->finalize(object);
}

static void zebra_printer_plugin_class_init(ZebraPrinterPluginClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = zebra_printer_plugin_finalize;
}

static void zebra_printer_plugin_init(ZebraPrinterPlugin* self) {
  new (&self->currentPrinterName_) std::optional<std::string>();
  new (&self->discovery_) corvella::PrinterDiscovery();
  new (&self->submission_) corvella::ZplSubmission();
}

namespace corvella {

namespace {

// Every answer of the plug-in goes through these, on the main thread. A call
// is answered once; the engine refuses (and reports) any second answer.
void Answer(FlMethodCall* call, FlValue* value) {
  g_autoptr(FlValue) owned = value;
  g_autoptr(GError) error = nullptr;
  if (!fl_method_call_respond_success(call, owned, &error)) {
    g_warning("Failed to answer %s: %s", fl_method_call_get_name(call), error->message);
  }
}

void AnswerBool(FlMethodCall* call, bool value) { Answer(call, fl_value_new_bool(value)); }

void AnswerError(FlMethodCall* call, const char* code, const char* message) {
  g_autoptr(GError) error = nullptr;
  if (!fl_method_call_respond_error(call, code, message, nullptr, &error)) {
    g_warning("Failed to answer %s: %s", fl_method_call_get_name(call), error->message);
  }
}

// A reference to a call that a work item answers later: the shared-ownership
// result holder. The call is released with the last reference.
using HeldCall = std::shared_ptr<FlMethodCall>;

HeldCall Hold(FlMethodCall* call) {
  return HeldCall(FL_METHOD_CALL(g_object_ref(call)), g_object_unref);
}

using Method = void (*)(ZebraPrinterPlugin* self, FlMethodCall* call);

void initialize(ZebraPrinterPlugin*, FlMethodCall* call) { AnswerBool(call, true); }

// The two queries are answered by main-queue work items after the handler has
// returned. The plug-in lives as long as the process (its channel keeps it),
// and the item holds a reference besides.
void getAvailablePrinters(ZebraPrinterPlugin* self, FlMethodCall* call) {
  g_object_ref(self);
  RunOnMainThread([self, held = Hold(call)] {
    g_autoptr(FlValue) list = fl_value_new_list();
    for (const std::string& name : self->discovery_.getPrinterNames()) {
      fl_value_append_take(list, fl_value_new_string(name.c_str()));
    }
    Answer(held.get(), fl_value_ref(list));
    g_object_unref(self);
  });
}

void getDefaultPrinter(ZebraPrinterPlugin* self, FlMethodCall* call) {
  g_object_ref(self);
  RunOnMainThread([self, held = Hold(call)] {
    std::optional<std::string> name = self->discovery_.getDefaultPrinterName();
    Answer(held.get(), fl_value_new_string(name.value_or(std::string()).c_str()));
    g_object_unref(self);
  });
}

void connectToDefaultPrinter(ZebraPrinterPlugin* self, FlMethodCall* call) {
  std::optional<std::string> name = self->discovery_.getDefaultPrinterName();
  if (!name) {
    AnswerBool(call, false);
    return;
  }
  self->currentPrinterName_ = std::move(*name);
  AnswerBool(call, true);
}

void connectToPrinter(ZebraPrinterPlugin* self, FlMethodCall* call) {
  std::optional<std::string> name = textArgument(fl_method_call_get_args(call), "printerName");
  if (!name) {
    AnswerError(call, "INVALID_ARGUMENTS", "printerName is required");
    return;
  }
  self->currentPrinterName_ = std::move(*name);
  AnswerBool(call, true);
}

void printZPL(ZebraPrinterPlugin* self, FlMethodCall* call) {
  if (!self->currentPrinterName_ || self->currentPrinterName_->empty()) {
    AnswerError(call, "NO_PRINTER", "No printer connected");
    return;
  }
  std::string printerName = *self->currentPrinterName_;
  std::optional<std::string> zpl = textArgument(fl_method_call_get_args(call), "zplCommands");
  if (!zpl) {
    AnswerError(call, "INVALID_ARGUMENTS", "zplCommands is required");
    return;
  }
  // The work item owns its copies of the name and the document: a later
  // "connectToPrinter" or "disconnect" cannot redirect this label. The call
  // is answered, and released, on the main thread.
  RunInBackground([submission = self->submission_, printerName = std::move(printerName),
                   zpl = std::move(*zpl), held = Hold(call)]() mutable {
    const bool queued = submission.submitZplToPrinter(printerName, zpl);
    RunOnMainThread([held = std::move(held), queued] { AnswerBool(held.get(), queued); });
  });
}

void getPrinterStatus(ZebraPrinterPlugin* self, FlMethodCall* call) {
  g_autoptr(FlValue) status = fl_value_new_map();
  fl_value_set_string_take(status, "connected",
                           fl_value_new_bool(self->currentPrinterName_.has_value()));
  if (self->currentPrinterName_) {
    fl_value_set_string_take(status, "printerName",
                             fl_value_new_string(self->currentPrinterName_->c_str()));
  }
  Answer(call, fl_value_ref(status));
}

void disconnect(ZebraPrinterPlugin* self, FlMethodCall* call) {
  self->currentPrinterName_.reset();
  AnswerBool(call, true);
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
};

// The handler: answers at once, or queues a work item that answers later;
// never both, never twice.
void HandleMethodCall(FlMethodChannel*, FlMethodCall* call, gpointer user_data) {
  ZebraPrinterPlugin* self = ZEBRA_PRINTER_PLUGIN(user_data);
  const std::string_view name = fl_method_call_get_name(call);
  for (const auto& entry : kMethodTable) {
    if (name == entry.name) {
      entry.method(self, call);
      return;
    }
  }
  g_autoptr(GError) error = nullptr;
  if (!fl_method_call_respond_not_implemented(call, &error)) {
    g_warning("Failed to answer %s: %s", fl_method_call_get_name(call), error->message);
  }
}

}  // namespace

void RegisterZebraPrinterPlugin(FlPluginRegistrar* registrar, PrintTools tools) {
  g_return_if_fail(FL_IS_PLUGIN_REGISTRAR(registrar));
  ZebraPrinterPlugin* plugin =
      ZEBRA_PRINTER_PLUGIN(g_object_new(zebra_printer_plugin_get_type(), nullptr));
  plugin->discovery_ = PrinterDiscovery(tools);
  plugin->submission_ = ZplSubmission(tools);
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
