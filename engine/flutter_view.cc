#include "engine/flutter_view.h"

FlutterView::FlutterView() { set_name("flutter-view"); }

void FlutterView::get_preferred_width_vfunc(int& minimum_width, int& natural_width) const {
  minimum_width = kMinimumWidth;
  natural_width = kNaturalWidth;
}

void FlutterView::get_preferred_height_vfunc(int& minimum_height, int& natural_height) const {
  minimum_height = kMinimumHeight;
  natural_height = kNaturalHeight;
}

bool FlutterView::on_draw(const Cairo::RefPtr<Cairo::Context>& cr) {
  const int width = get_allocated_width();
  const int height = get_allocated_height();
  cr->set_source_rgb(0.96, 0.96, 0.97);
  cr->paint();
  auto layout = create_pango_layout("Corvella");
  Pango::FontDescription font("Sans 24");
  layout->set_font_description(font);
  int text_width = 0;
  int text_height = 0;
  layout->get_pixel_size(text_width, text_height);
  cr->set_source_rgb(0.25, 0.27, 0.32);
  cr->move_to((width - text_width) / 2.0, (height - text_height) / 2.0);
  layout->show_in_cairo_context(cr);
  return true;
}
