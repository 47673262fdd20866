#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_print_system/label_picture_worker.h"
#include "test_print_system/printer_mode.h"

namespace corvella::print_system {

struct LabelPrinterOptions {
  std::string jobs_directory;
  uint16_t port = 0;      // 0: the system chooses
  std::string port_file;  // written (atomically) once the port is bound; optional
  PrinterMode mode = PrinterMode::kRecord;
  bool render = true;  // draw each stored job's labels as pictures
  int dots_per_mm = 8;
  zpl::MediaSize media;  // the media loaded: 4 x 6 inches unless set
};

// A TCP listener on 127.0.0.1 that stores the bytes of each connection as one
// file, job-000001.bin, job-000002.bin, ..., numbered in the order the
// connections were accepted. A job is written under a hidden temporary name
// and renamed when its connection closes, so a reader that lists job-*.bin
// never sees a partial job. Each stored job's labels are then drawn as
// pictures beside it (LabelPictureWorker), unless rendering is off. Numbering continues after the
// highest job already in the directory, so a printer restarted on the same directory appends.
//
// Single-threaded: one poll loop serves the listener, every connection and the
// termination signals.
class LabelPrinterServer {
 public:
  explicit LabelPrinterServer(LabelPrinterOptions options);
  ~LabelPrinterServer();
  LabelPrinterServer(const LabelPrinterServer&) = delete;
  LabelPrinterServer& operator=(const LabelPrinterServer&) = delete;

  // Binds the port (and listens unless the mode is kDown) and writes the port
  // file. Returns false with a message in error().
  bool open();
  uint16_t port() const { return port_; }

  // Serves until SIGTERM, SIGINT or SIGHUP. The caller must have blocked
  // those signals (BlockTerminationSignals) before starting any thread.
  // Returns false on a fatal error (e.g. a job file cannot be written).
  bool serve();

  const std::string& error() const { return error_; }

  // Blocks SIGTERM, SIGINT and SIGHUP in the calling thread so serve() can
  // take them through a signalfd.
  static bool BlockTerminationSignals();

 private:
  struct Connection {
    int file_fd = -1;
    std::string part_path;
    std::string final_path;
  };

  bool acceptAll();
  // Reads what is available; returns false when the connection has ended
  // (and has been committed or dropped).
  bool readConnection(int fd, Connection& connection);
  bool commit(int fd, Connection& connection);
  void dropAll();
  bool writePortFile();
  uint64_t firstFreeJobNumber() const;
  bool fail(const std::string& what);

  LabelPrinterOptions options_;
  int listen_fd_ = -1;
  int signal_fd_ = -1;
  uint16_t port_ = 0;
  uint64_t next_job_ = 1;
  bool fatal_ = false;
  std::map<int, Connection> recording_;  // socket fd -> open job
  std::vector<int> held_;                // stalled sockets, never read
  std::string error_;
  std::unique_ptr<LabelPictureWorker> pictures_;  // null when not drawing
};

}  // namespace corvella::print_system
