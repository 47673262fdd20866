#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Runner/print_tools.h"
#include "Runner/printer_discovery.h"
#include "Runner/result_holder.h"
#include "Runner/zpl_submission.h"
#include "engine/method_call.h"
#include "engine/plugin_registrar.h"

namespace corvella {

// The printer plug-in: answers the calls of "zebra_printer_channel". It keeps
// one piece of state, the selected printer, which is read and written only on
// the main thread (every call and every answer happens there), so it needs no
// lock. Print-system failures reach the caller as plain values (an empty
// list, empty text, false); only argument and selection problems are errors.
class ZebraPrinterPlugin : public FlutterPlugin {
 public:
  static constexpr std::string_view kChannelName = "zebra_printer_channel";

  // Creates the channel on the registrar's messenger and installs one plug-in
  // instance as its call delegate; the registrar keeps both alive. `tools`
  // are the CUPS tools it runs; only tests hand other programs.
  static void registerWith(FlutterPluginRegistrar* registrar, PrintTools tools = {});
  // The plug-in protocol's entry; forwards to registerWith.
  static void registerWithRegistrar(FlutterPluginRegistrar* registrar);

  explicit ZebraPrinterPlugin(PrintTools tools = {});

  // The embedding's entry; forwards to handle.
  void handleMethodCall(const FlutterMethodCall& call, FlutterResult result) override;

  // Looks the method up in the method table and carries it out. Answers at
  // once, or queues a work item that answers later; never both, never twice.
  void handle(const FlutterMethodCall& call, FlutterResult result);

 private:
  using Result = std::shared_ptr<ResultHolder>;
  using Method = void (ZebraPrinterPlugin::*)(const FlutterMethodCall&, const Result&);
  struct MethodEntry {
    std::string_view name;
    Method method;
  };
  static const MethodEntry kMethodTable[];

  void initialize(const FlutterMethodCall& call, const Result& result);
  void getAvailablePrinters(const FlutterMethodCall& call, const Result& result);
  void getDefaultPrinter(const FlutterMethodCall& call, const Result& result);
  void connectToDefaultPrinter(const FlutterMethodCall& call, const Result& result);
  void connectToPrinter(const FlutterMethodCall& call, const Result& result);
  void printZPL(const FlutterMethodCall& call, const Result& result);
  void getPrinterStatus(const FlutterMethodCall& call, const Result& result);
  void disconnect(const FlutterMethodCall& call, const Result& result);

  std::optional<std::string> currentPrinterName_;
  PrinterDiscovery discovery_;
  ZplSubmission submission_;
};

}  // namespace corvella
