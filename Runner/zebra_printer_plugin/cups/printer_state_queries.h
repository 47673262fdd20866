#pragma once

#include <glib.h>

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "cups/printer_discovery.h"
#include "cups/printer_state.h"

namespace corvella {

// Reads queue states for the channel without holding the main thread: each
// query runs on a thread of its own and is answered on the main thread,
// within the discovery's query limit however the print system behaves.
//
// Queries share the discovery's outage mark: while the print system is
// marked as stalled, a query is answered "unknown" at once, and a query that
// runs out of its limit marks it. Queries in flight run side by side, so
// calls made while the print system hangs each wait their own limit at
// most, never one after another.
//
// Main thread only, but for the query threads it runs. The discovery must
// outlive this object.
class PrinterStateQueries {
 public:
  using Answer = std::function<void(const PrinterState& state)>;

  explicit PrinterStateQueries(PrinterDiscovery& discovery);
  // Stops, as stop().
  ~PrinterStateQueries();
  PrinterStateQueries(const PrinterStateQueries&) = delete;
  PrinterStateQueries& operator=(const PrinterStateQueries&) = delete;

  // Asks for the state of queue `name`. `answer` runs exactly once, on the
  // main thread: inside this call when the print system is marked as
  // stalled (or no thread can be had), else after it has returned, by
  // PrinterDiscovery::kQueryTimeLimit at the latest.
  void ask(const std::string& name, Answer answer);

  // Answers every query in flight "unknown" and cancels it; its thread ends
  // within a check interval, or, caught in a wait that libcups cannot cut
  // short, soon after on its own, touching nothing of this object or the
  // discovery. Waits kStopGrace at most. Later queries are answered
  // "unknown" at once. For the end of the host.
  void stop();

  static constexpr std::chrono::seconds kStopGrace{1};

 private:
  struct Query;
  struct Running;

  static gboolean timeUp(gpointer query);
  static void deliver(Query& query, const PrinterState& state);
  // Joins the threads of queries that have ended and been answered.
  void reap();

  PrinterDiscovery& discovery_;
  // The discovery, as the queries' main-queue items reach it: not once this
  // object has gone.
  std::shared_ptr<PrinterDiscovery*> reach_;
  std::list<Running> running_;
  bool stopped_ = false;
};

}  // namespace corvella
