#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/unique_fd.h"
#include "submission/private_file.h"
#include "test_print_system/label_picture_worker.h"
#include "test_print_system/printer_condition.h"
#include "test_print_system/printer_mode.h"

namespace corvella::testing {

struct LabelPrinterOptions {
  std::string jobs_directory;
  uint16_t port = 0;      // 0: the system chooses
  std::string port_file;  // written (atomically) once the port is bound; optional
  PrinterMode mode = PrinterMode::kRecord;
  bool render = true;  // draw each stored job's labels as pictures
  int dots_per_mm = 8;
  zpl::MediaSize media;        // the media loaded: 4 x 6 inches unless set
  PrinterCondition condition;  // what a host-status query is told
};

// A TCP listener on 127.0.0.1 that stores the bytes of each connection as one
// file, job-000001.bin, job-000002.bin, ..., numbered in the order their
// first bytes arrived (one that ends without any, when it ends). A job is written under a hidden
// temporary name and renamed when its connection closes, so a reader that lists job-*.bin never
// sees a partial job. Each stored job's labels are then drawn as pictures beside it
// (LabelPictureWorker), unless rendering is off. Numbering continues after the highest job already
// in the directory, so a printer restarted on the same directory appends.
//
// A connection that opens with the host-status query ~HS is answered at once
// with the printer's three status strings (its condition's paper-out and
// head-up flags among them), as a Zebra printer answers; those three bytes
// are no part of a job, and a connection that sent nothing else stores none.
//
// Single-threaded: one poll loop serves the listener, every connection and the
// termination signals.
class LabelPrinterServer {
 public:
  explicit LabelPrinterServer(LabelPrinterOptions options);
  LabelPrinterServer(const LabelPrinterServer&) = delete;
  LabelPrinterServer& operator=(const LabelPrinterServer&) = delete;

  // Binds the port (and listens unless the mode is kDown) and writes the port
  // file. False, with `reason` set, when it cannot.
  bool open(std::string& reason);
  uint16_t port() const { return port_; }

  // Serves until SIGTERM, SIGINT or SIGHUP. The caller must have blocked
  // those signals (BlockTerminationSignals) before starting any thread.
  // False, with `reason` set, on a fatal error (e.g. a job file cannot be
  // written).
  bool serve(std::string& reason);

  // Blocks SIGTERM, SIGINT and SIGHUP in the calling thread so serve() can
  // take them through a signalfd.
  static bool blockTerminationSignals();

 private:
  // One connection being recorded: its socket and the job file that takes
  // its bytes under the hidden name `part_path`, renamed to `final_path`
  // when the connection ends. Going away unfinished closes the socket and
  // removes the part. Until its first bytes are told apart from a ~HS query
  // they wait in `opening`.
  struct Connection {
    UniqueFd socket;
    std::string opening;
    bool told = false;
    bool status_query = false;
    std::optional<PrivateFile> file;
    std::string part_path;
    std::string final_path;
  };

  void acceptAll();
  // Reads what is available; returns false when the connection has ended
  // (and has been committed or dropped).
  bool readConnection(Connection& connection, std::string& reason);
  bool commit(Connection& connection, std::string& reason);
  // Takes bytes that arrived: the opening, and what belongs to the job.
  bool take(Connection& connection, std::string_view bytes, std::string& reason);
  bool store(Connection& connection, std::string_view bytes, std::string& reason);
  void answerHostStatus(const Connection& connection) const;
  bool writePortFile(std::string& reason);
  uint64_t firstFreeJobNumber() const;

  LabelPrinterOptions options_;
  // Drawing outlives the connections: the worker goes last and draws what
  // was stored.
  std::unique_ptr<LabelPictureWorker> pictures_;  // null when not drawing
  UniqueFd listen_fd_;
  UniqueFd signal_fd_;
  uint16_t port_ = 0;
  uint64_t next_job_ = 1;
  bool fatal_ = false;
  std::map<int, Connection> recording_;  // by socket descriptor
  std::vector<UniqueFd> held_;           // stalled sockets, never read
};

}  // namespace corvella::testing
