#include "engine/host_window.h"

#include <cmath>

namespace {

int ToPixels(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

HostWindow::HostWindow(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::ApplicationWindow(cobject) {}

HostWindow::~HostWindow() {
  if (content_) {
    remove();
    content_.reset();
  }
}

void HostWindow::awakeFromNib() {}

WindowFrame HostWindow::frame() const {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  get_position(x, y);
  get_size(width, height);
  return {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
          static_cast<double>(height)};
}

void HostWindow::setFrame(const WindowFrame& frame, bool display) {
  move(ToPixels(frame.x), ToPixels(frame.y));
  resize(ToPixels(frame.width), ToPixels(frame.height));
  if (display) queue_draw();
}

void HostWindow::setContentViewController(std::unique_ptr<FlutterViewController> controller) {
  if (content_) remove();
  content_ = std::move(controller);
  if (!content_) return;
  Gtk::Widget& view = content_->view();
  add(view);
  view.show();
  int minimum = 0;
  int natural_width = 0;
  int natural_height = 0;
  view.get_preferred_width(minimum, natural_width);
  view.get_preferred_height(minimum, natural_height);
  resize(natural_width, natural_height);
}
