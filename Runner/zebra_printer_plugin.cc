#include "Runner/zebra_printer_plugin.h"

#include <iterator>
#include <utility>

#include "Runner/argument_rule.h"
#include "engine/background_queue.h"
#include "engine/main_queue.h"
#include "engine/method_channel.h"

namespace corvella {

namespace {

FlutterError InvalidArguments(std::string message) {
  return FlutterError::errorWithCode("INVALID_ARGUMENTS", std::move(message), EncodableValue());
}

}  // namespace

// Compared in this order; the first exact (case-sensitive, whole-text) match
// wins.
const ZebraPrinterPlugin::MethodEntry ZebraPrinterPlugin::kMethodTable[] = {
    {"initialize", &ZebraPrinterPlugin::initialize},
    {"getAvailablePrinters", &ZebraPrinterPlugin::getAvailablePrinters},
    {"getDefaultPrinter", &ZebraPrinterPlugin::getDefaultPrinter},
    {"connectToDefaultPrinter", &ZebraPrinterPlugin::connectToDefaultPrinter},
    {"connectToPrinter", &ZebraPrinterPlugin::connectToPrinter},
    {"printZPL", &ZebraPrinterPlugin::printZPL},
    {"getPrinterStatus", &ZebraPrinterPlugin::getPrinterStatus},
    {"disconnect", &ZebraPrinterPlugin::disconnect},
};

ZebraPrinterPlugin::ZebraPrinterPlugin(PrintTools tools) : discovery_(tools), submission_(tools) {}

void ZebraPrinterPlugin::registerWith(FlutterPluginRegistrar* registrar, PrintTools tools) {
  FlutterBinaryMessenger* messenger = registrar->messenger();
  auto channel = FlutterMethodChannel::methodChannelWithName(std::string(kChannelName), messenger);
  auto instance = std::make_shared<ZebraPrinterPlugin>(std::move(tools));
  registrar->addMethodCallDelegate(std::move(instance), std::move(channel));
}

void ZebraPrinterPlugin::registerWithRegistrar(FlutterPluginRegistrar* registrar) {
  registerWith(registrar);
}

void ZebraPrinterPlugin::handleMethodCall(const FlutterMethodCall& call, FlutterResult result) {
  handle(call, std::move(result));
}

void ZebraPrinterPlugin::handle(const FlutterMethodCall& call, FlutterResult result) {
  auto holder = std::make_shared<ResultHolder>(std::move(result));
  for (const MethodEntry& entry : kMethodTable) {
    if (call.method() == entry.name) {
      (this->*entry.method)(call, holder);
      return;
    }
  }
  holder->answerNotImplemented();
}

void ZebraPrinterPlugin::initialize(const FlutterMethodCall&, const Result& result) {
  result->answer(true);
}

// The two queries are answered by main-queue work items after the handler
// has returned. The plug-in lives as long as the process (the registrar keeps
// it), so the items may use it.
void ZebraPrinterPlugin::getAvailablePrinters(const FlutterMethodCall&, const Result& result) {
  MainQueue::shared().post([this, result] { result->answer(discovery_.getPrinterNames()); });
}

void ZebraPrinterPlugin::getDefaultPrinter(const FlutterMethodCall&, const Result& result) {
  MainQueue::shared().post([this, result] {
    result->answer(discovery_.getDefaultPrinterName().value_or(std::string()));
  });
}

void ZebraPrinterPlugin::connectToDefaultPrinter(const FlutterMethodCall&, const Result& result) {
  std::optional<std::string> name = discovery_.getDefaultPrinterName();
  if (!name) {
    result->answer(false);
    return;
  }
  currentPrinterName_ = std::move(*name);
  result->answer(true);
}

void ZebraPrinterPlugin::connectToPrinter(const FlutterMethodCall& call, const Result& result) {
  std::optional<std::string> name = textArgument(call.arguments(), "printerName");
  if (!name) {
    result->answer(InvalidArguments("printerName is required"));
    return;
  }
  currentPrinterName_ = std::move(*name);
  result->answer(true);
}

void ZebraPrinterPlugin::printZPL(const FlutterMethodCall& call, const Result& result) {
  if (!currentPrinterName_ || currentPrinterName_->empty()) {
    result->answer(
        FlutterError::errorWithCode("NO_PRINTER", "No printer connected", EncodableValue()));
    return;
  }
  std::string printerName = *currentPrinterName_;
  std::optional<std::string> zpl = textArgument(call.arguments(), "zplCommands");
  if (!zpl) {
    result->answer(InvalidArguments("zplCommands is required"));
    return;
  }
  // The work item owns its copies of the name and the document: a later
  // "connectToPrinter" or "disconnect" cannot redirect this label. The
  // result holder is only touched again on the main thread.
  BackgroundQueue::shared().post([submission = submission_, printerName = std::move(printerName),
                                  zpl = std::move(*zpl), result]() mutable {
    bool queued = submission.submitZplToPrinter(printerName, zpl);
    // Moved on, so the holder is released on the main thread.
    MainQueue::shared().post([result = std::move(result), queued] { result->answer(queued); });
  });
}

void ZebraPrinterPlugin::getPrinterStatus(const FlutterMethodCall&, const Result& result) {
  if (!currentPrinterName_) {
    result->answer(ResultHolder::TextMap{{"connected", false}});
    return;
  }
  result->answer(ResultHolder::TextMap{{"connected", true}, {"printerName", *currentPrinterName_}});
}

void ZebraPrinterPlugin::disconnect(const FlutterMethodCall&, const Result& result) {
  currentPrinterName_.reset();
  result->answer(true);
}

}  // namespace corvella
