#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cups/print_tools.h"
#include "process/child_stopper.h"

namespace corvella {

// Sends one ZPL label document to a CUPS queue as raw data. Safe to use from
// several threads at once: every call works on its own copies, its own
// temporary file and its own child processes.
class ZplSubmission {
 public:
  // Where the file name's UUID text comes from.
  using UuidSource = std::function<std::string()>;

  // A new random (version 4) UUID in its standard form, upper-case:
  // "4F1C0B9A-...".
  static std::string randomUuid();

  // `uuids` is randomUuid unless a test names the files itself.
  explicit ZplSubmission(PrintTools tools = {}, UuidSource uuids = nullptr)
      : tools_(std::move(tools)), uuids_(uuids ? std::move(uuids) : UuidSource(randomUuid)) {}

  // Completes `zpl` with "^XZ" when it has none, gives it CR LF line ends,
  // keeps it in a new private file "corvella_<UUID>.zpl" in the temporary
  // directory and queues it on `printer_name`: the file through lp, then
  // lpr, then the document on standard input of lp, then lpr, until one
  // succeeds. True when one of them queued the job. The file attempts run
  // only on a file this call created and wrote whole, and read it through
  // this call's own descriptor ("/dev/fd/3"), never by its name: when it
  // cannot be created as this call's own (its name is taken by a file or a
  // link someone else put there) or a write fails (a full disk, a file-size
  // limit), they are logged as not run and the label goes on standard
  // input, so lp never prints bytes this call did not write. Blocks until
  // the tools have exited; failures are logged and give false. With a
  // stopper, the tools run under it (see ChildStopper), and no attempt
  // starts once it has stopped.
  bool submitZplToPrinter(const std::string& printer_name, std::string_view zpl,
                          ChildStopper* stopper = nullptr) const;

 private:
  PrintTools tools_;
  UuidSource uuids_;
};

}  // namespace corvella
