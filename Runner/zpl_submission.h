#pragma once

#include <string>
#include <string_view>

#include "Runner/print_tools.h"

namespace corvella {

// Sends one ZPL label document to a CUPS queue as raw data. Safe to use from
// several threads at once: every call works on its own copies, its own
// temporary file and its own child processes.
class ZplSubmission {
 public:
  explicit ZplSubmission(PrintTools tools = {}) : tools_(std::move(tools)) {}

  // Completes `zpl` with "^XZ" when it has none, gives it CR LF line ends,
  // keeps it in a new private file "corvella_<UUID>.zpl" in the temporary
  // directory and queues it on `printerName`: the file through lp, then
  // lpr, then the document on standard input of lp, then lpr, until one
  // succeeds. True when one of them queued the job. Blocks until the tools
  // have exited; failures are logged and give false.
  bool submitZplToPrinter(const std::string& printerName, std::string_view zpl) const;

 private:
  PrintTools tools_;
};

}  // namespace corvella
