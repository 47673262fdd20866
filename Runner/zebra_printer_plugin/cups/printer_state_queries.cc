#include "cups/printer_state_queries.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <utility>

#include "channel/dispatch_queues.h"

namespace corvella {

using Clock = std::chrono::steady_clock;

// One query, shared by the main thread, its thread and the main-queue item
// that carries its result. `answer`, `timer` and `discovery` are the main
// thread's; the query's thread touches only the two flags. The discovery is
// reached only while this object is there (the item may run after it).
struct PrinterStateQueries::Query {
  Answer answer;  // empty once answered
  guint timer = 0;
  std::weak_ptr<PrinterDiscovery*> discovery;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> finished{false};
};

// A query's thread, which only this object joins.
struct PrinterStateQueries::Running {
  std::thread thread;
  std::shared_ptr<Query> query;
};

PrinterStateQueries::PrinterStateQueries(PrinterDiscovery& discovery)
    : discovery_(discovery), reach_(std::make_shared<PrinterDiscovery*>(&discovery)) {}

PrinterStateQueries::~PrinterStateQueries() { stop(); }

void PrinterStateQueries::deliver(Query& query, const PrinterState& state) {
  if (state.timed_out) {
    if (std::shared_ptr<PrinterDiscovery*> discovery = query.discovery.lock()) {
      (*discovery)->markStalled();
    }
  }
  if (!query.answer) return;  // answered already: by the limit, or at stop
  if (query.timer != 0) g_source_remove(std::exchange(query.timer, 0));
  Answer answer = std::exchange(query.answer, nullptr);
  answer(state);
}

// The limit has passed before the scheduler answered: the print system is
// not answering.
gboolean PrinterStateQueries::timeUp(gpointer data) {
  Query& query = **static_cast<std::shared_ptr<Query>*>(data);
  query.timer = 0;  // this source ends as it returns
  query.cancelled = true;
  PrinterState unknown;
  unknown.timed_out = true;
  deliver(query, unknown);
  return G_SOURCE_REMOVE;
}

void PrinterStateQueries::ask(const std::string& name, Answer answer) {
  reap();
  if (stopped_ || discovery_.stalled()) {
    answer(PrinterState{});
    return;
  }
  auto query = std::make_shared<Query>();
  query->answer = std::move(answer);
  query->discovery = reach_;
  const Clock::time_point deadline = Clock::now() + PrinterDiscovery::kQueryTimeLimit;
  std::thread thread;
  try {
    thread = std::thread([query, name, deadline] {
      const PrinterState state = ReadPrinterState(name, deadline, query->cancelled);
      RunOnMainThread([query, state] { deliver(*query, state); });
      query->finished = true;
    });
  } catch (const std::system_error&) {
    deliver(*query, PrinterState{});
    return;
  }
  // The answer is given by the limit at the latest, whatever the thread is
  // waiting for (libcups bounds each of its waits, not the whole exchange).
  query->timer = g_timeout_add_full(
      G_PRIORITY_DEFAULT,
      static_cast<guint>(
          std::chrono::duration_cast<std::chrono::milliseconds>(PrinterDiscovery::kQueryTimeLimit)
              .count()),
      timeUp, new std::shared_ptr<Query>(query),
      [](gpointer data) { delete static_cast<std::shared_ptr<Query>*>(data); });
  running_.push_back({std::move(thread), std::move(query)});
}

void PrinterStateQueries::reap() {
  for (auto it = running_.begin(); it != running_.end();) {
    if (it->query->finished && !it->query->answer) {
      it->thread.join();
      it = running_.erase(it);
    } else {
      ++it;
    }
  }
}

void PrinterStateQueries::stop() {
  stopped_ = true;
  for (Running& running : running_) {
    running.query->cancelled = true;
    deliver(*running.query, PrinterState{});
  }
  // A cancelled query gives up within a check interval. One caught in a wait
  // that libcups cannot cut short (a name lookup, a connection attempt) is
  // left to end on its own, soon: it holds nothing of this object.
  const Clock::time_point end = Clock::now() + kStopGrace;
  for (Running& running : running_) {
    while (!running.query->finished && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (running.query->finished) {
      running.thread.join();
    } else {
      running.thread.detach();
    }
  }
  running_.clear();
}

}  // namespace corvella
