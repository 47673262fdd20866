#include "channel/application_end.h"

#include <algorithm>
#include <string>
#include <utility>

#include "process/system_log.h"

namespace corvella {

ApplicationEnd::ApplicationEnd(GApplication* application, std::function<void()> on_shutdown)
    : application_(application), on_shutdown_(std::move(on_shutdown)) {
  if (application_ == nullptr) return;
  g_object_ref(application_);
  if (GTK_IS_APPLICATION(application_)) {
    window_removed_handler_ =
        g_signal_connect(application_, "window-removed", G_CALLBACK(windowRemoved), this);
  }
  shutdown_handler_ = g_signal_connect(application_, "shutdown", G_CALLBACK(shutdown), this);
}

ApplicationEnd::~ApplicationEnd() {
  if (grace_source_ != 0) g_source_remove(grace_source_);
  if (application_ == nullptr) return;
  if (window_removed_handler_ != 0)
    g_signal_handler_disconnect(application_, window_removed_handler_);
  g_signal_handler_disconnect(application_, shutdown_handler_);
  release();
  g_object_unref(application_);
}

std::shared_ptr<PrintInFlight> ApplicationEnd::printStarted() {
  auto print = std::make_shared<PrintInFlight>();
  if (ended_) {
    print->end(PrintInFlight::Clock::now());
    return print;
  }
  prints_.push_back(print);
  hold();
  // A print that starts once the windows are gone gets the same bound.
  if (windowsGone()) startGrace();
  return print;
}

void ApplicationEnd::printFinished(const std::shared_ptr<PrintInFlight>& print) {
  std::erase(prints_, print);
  if (!prints_.empty()) return;
  release();
  if (grace_source_ != 0) {
    g_source_remove(grace_source_);
    grace_source_ = 0;
  }
}

bool ApplicationEnd::windowsGone() const {
  return GTK_IS_APPLICATION(application_) &&
         gtk_application_get_windows(GTK_APPLICATION(application_)) == nullptr;
}

void ApplicationEnd::hold() {
  if (held_ || application_ == nullptr) return;
  g_application_hold(application_);
  held_ = true;
}

void ApplicationEnd::release() {
  if (!held_) return;
  held_ = false;
  g_application_release(application_);
}

void ApplicationEnd::startGrace() {
  if (grace_source_ == 0 && held_) {
    grace_source_ = g_timeout_add_seconds(static_cast<guint>(kGrace.count()), graceEnded, this);
  }
}

void ApplicationEnd::endPrints() {
  if (ended_ || application_ == nullptr) return;
  ended_ = true;
  // The tools of prints between two steps end within moments; the end
  // waits for them a second in all.
  const auto settle_by = PrintInFlight::Clock::now() + std::chrono::seconds(1);
  size_t left = 0, not_started = 0, cut_off = 0;
  for (const std::shared_ptr<PrintInFlight>& print : prints_) {
    switch (print->end(settle_by)) {
      case PrintInFlight::Fate::kFinished:
        break;
      case PrintInFlight::Fate::kLeftWhole:
        ++left;
        break;
      case PrintInFlight::Fate::kNotStarted:
        ++not_started;
        break;
      case PrintInFlight::Fate::kCutOff:
        ++cut_off;
        break;
    }
  }
  const size_t in_flight = left + not_started + cut_off;
  if (in_flight == 0) return;
  Log(std::to_string(in_flight) + (in_flight == 1 ? " print was" : " prints were") +
      " still in flight as the application ended: " + std::to_string(left) +
      " handed to lp or lpr whole, left to finish on their own; " +
      std::to_string(not_started + cut_off) + " not printed (" + std::to_string(not_started) +
      " not started, " + std::to_string(cut_off) +
      " stopped before the label was whole in lp's or lpr's hands)");
}

void ApplicationEnd::windowRemoved(GtkApplication*, GtkWindow*, gpointer self) {
  auto* end = static_cast<ApplicationEnd*>(self);
  if (end->windowsGone()) end->startGrace();
}

gboolean ApplicationEnd::graceEnded(gpointer self) {
  auto* end = static_cast<ApplicationEnd*>(self);
  end->grace_source_ = 0;
  end->endPrints();
  end->release();
  return G_SOURCE_REMOVE;
}

void ApplicationEnd::shutdown(GApplication*, gpointer self) {
  auto* end = static_cast<ApplicationEnd*>(self);
  // Quit without the grace (a second signal): the prints are ended all the
  // same, and said so.
  end->endPrints();
  if (auto stop_work = std::exchange(end->on_shutdown_, nullptr)) stop_work();
}

}  // namespace corvella
