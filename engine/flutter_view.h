#pragma once

#include <gtkmm.h>

// The widget that stands in for the app engine's rendering surface. Like the
// engine's view it asks for a natural size of its own (kNaturalWidth x
// kNaturalHeight) and accepts any size down to a small minimum, filling
// whatever room the window gives it.
class FlutterView : public Gtk::DrawingArea {
 public:
  static constexpr int kNaturalWidth = 1024;
  static constexpr int kNaturalHeight = 768;
  static constexpr int kMinimumWidth = 320;
  static constexpr int kMinimumHeight = 240;

  FlutterView();

 protected:
  void get_preferred_width_vfunc(int& minimum_width, int& natural_width) const override;
  void get_preferred_height_vfunc(int& minimum_height, int& natural_height) const override;
  bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
};
