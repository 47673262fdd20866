#pragma once

#include <flutter_linux/flutter_linux.h>

#include <memory>
#include <optional>
#include <string>

#include "channel/application_end.h"
#include "cups/print_tools.h"
#include "cups/printer_discovery.h"
#include "cups/printer_state_queries.h"
#include "submission/zpl_submission.h"

namespace corvella {

// The answers on "zebra_printer_channel": the method table, the selected
// printer, and the parts the methods use, made in the order declared and
// destroyed in the reverse order. Main thread only: every call arrives there
// and is answered there, so the selection needs no lock.
//
// Work items reach the channel only through a weak reference on the main
// thread, so that it is always destroyed there, and a call whose channel
// has gone is still answered, as a query that found nothing.
class PrinterChannel : public std::enable_shared_from_this<PrinterChannel> {
 public:
  // `application`, when given, is the application whose end the plug-in
  // takes part in (see ApplicationEnd).
  PrinterChannel(const PrintTools& tools, GApplication* application);
  PrinterChannel(const PrinterChannel&) = delete;
  PrinterChannel& operator=(const PrinterChannel&) = delete;

  // Answers `call` at once, or leaves the answer to a work item; never both,
  // never twice. Names outside the table are not implemented.
  void handleMethodCall(FlMethodCall* call);

 private:
  // Each method gives its answer, or nullptr when a work item answers later.
  // Returns: (transfer full).
  using Method = FlMethodResponse* (PrinterChannel::*)(FlMethodCall* call);
  struct Entry {
    const char* name;
    Method method;
  };
  static const Entry kMethodTable[];

  FlMethodResponse* initialize(FlMethodCall* call);
  FlMethodResponse* getAvailablePrinters(FlMethodCall* call);
  FlMethodResponse* getDefaultPrinter(FlMethodCall* call);
  FlMethodResponse* connectToDefaultPrinter(FlMethodCall* call);
  FlMethodResponse* connectToPrinter(FlMethodCall* call);
  FlMethodResponse* printZPL(FlMethodCall* call);
  FlMethodResponse* getPrinterStatus(FlMethodCall* call);
  FlMethodResponse* disconnect(FlMethodCall* call);
  FlMethodResponse* getPrinterState(FlMethodCall* call);

  // The selected queue; none at start (empty text is a selection).
  std::optional<std::string> current_printer_name_;
  PrinterDiscovery discovery_;
  PrinterStateQueries state_queries_;
  ZplSubmission submission_;
  // Last, so destroyed first: its shutdown hook ends the queries' work.
  ApplicationEnd end_;
};

}  // namespace corvella
