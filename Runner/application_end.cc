#include "application_end.h"

#include <string>
#include <utility>

#include "system_log.h"

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

void ApplicationEnd::printStarted() {
  ++prints_;
  if (left_) return;
  hold();
  // A print that starts once the windows are gone gets the same bound.
  if (windowsGone()) startGrace();
}

void ApplicationEnd::printFinished() {
  if (prints_ > 0) --prints_;
  if (prints_ > 0) return;
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

void ApplicationEnd::leavePrints() {
  if (left_ || prints_ == 0) return;
  left_ = true;
  Log(std::to_string(prints_) + (prints_ == 1 ? " print was" : " prints were") +
      " still in flight as the application ended; left to finish on their own");
}

void ApplicationEnd::windowRemoved(GtkApplication*, GtkWindow*, gpointer self) {
  auto* end = static_cast<ApplicationEnd*>(self);
  if (end->windowsGone()) end->startGrace();
}

gboolean ApplicationEnd::graceEnded(gpointer self) {
  auto* end = static_cast<ApplicationEnd*>(self);
  end->grace_source_ = 0;
  end->leavePrints();
  end->release();
  return G_SOURCE_REMOVE;
}

void ApplicationEnd::shutdown(GApplication*, gpointer self) {
  auto* end = static_cast<ApplicationEnd*>(self);
  // Quit without the grace (a second signal): the prints are left all the
  // same, and said so.
  end->leavePrints();
  if (auto stop_work = std::exchange(end->on_shutdown_, nullptr)) stop_work();
}

}  // namespace corvella
