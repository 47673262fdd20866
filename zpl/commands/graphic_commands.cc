// The graphic commands: shapes, ^GS marks and pictures.
#include <algorithm>
#include <string>

#include "zpl/commands/command_handlers.h"
#include "zpl/document/graphic_field.h"
#include "zpl/document/label_renderer.h"
#include "zpl/document/printer_memory.h"
#include "zpl/drawing/shape_drawing.h"

namespace corvella::zpl {
namespace {

// A picture at the field origin (^FT: by its bottom left corner).
void DrawGraphic(LabelState& s, const Bitmap& bitmap, int scale_x, int scale_y) {
  Placement at = s.placement(Orientation::kNormal);
  const double w = static_cast<double>(bitmap.width) * scale_x,
               h = static_cast<double>(bitmap.height) * scale_y;
  at.anchor_v = h;
  s.label.picture.drawBitmap(LabelCanvas::fieldMatrix(at, w, h), s.ink(), bitmap, scale_x, scale_y);
}

// A box or diagonal: its sides at least its line's thickness, which they
// are when not given.
struct Box {
  std::optional<int> width, height;
  int thickness = 1;
  char color = 'B';
  int rounding = 0;  // ^GB: 0 to 8
  char lean = 'R';   // ^GD: R '/', L '\'
};

}  // namespace

void GraphicBox(LabelState& s, const ZplCommand&, const Params& p) {
  const Box b = ReadParams(p, Box{}, P(&Box::width, 1, 32000), P(&Box::height, 1, 32000),
                           P(&Box::thickness, 1, 32000), P(&Box::color), P(&Box::rounding, 0, 8));
  const int t = b.thickness;
  const int w = std::max(b.width.value_or(t), t), h = std::max(b.height.value_or(t), t);
  const double radius = b.rounding * std::min(w, h) / 16.0;
  DrawBox(s.label.picture, s.field.placement, s.colorInk(b.color), w, h, t, radius);
}

void GraphicCircle(LabelState& s, const ZplCommand&, const Params& p) {
  struct Circle {
    int diameter = 3, thickness = 1;
    char color = 'B';
  };
  const Circle c = ReadParams(p, Circle{}, P(&Circle::diameter, 3, 4095),
                              P(&Circle::thickness, 1, 4095), P(&Circle::color));
  DrawEllipse(s.label.picture, s.field.placement, s.colorInk(c.color), c.diameter, c.diameter,
              c.thickness);
}

void GraphicEllipse(LabelState& s, const ZplCommand&, const Params& p) {
  struct Ellipse {
    int width = 3, height = 3, thickness = 1;
    char color = 'B';
  };
  const Ellipse e =
      ReadParams(p, Ellipse{}, P(&Ellipse::width, 3, 4095), P(&Ellipse::height, 3, 4095),
                 P(&Ellipse::thickness, 1, 4095), P(&Ellipse::color));
  DrawEllipse(s.label.picture, s.field.placement, s.colorInk(e.color), e.width, e.height,
              e.thickness);
}

void GraphicDiagonal(LabelState& s, const ZplCommand&, const Params& p) {
  const Box b = ReadParams(p, Box{}, P(&Box::width, 3, 32000), P(&Box::height, 3, 32000),
                           P(&Box::thickness, 1, 32000), P(&Box::color), P(&Box::lean));
  const int t = b.thickness;
  const int w = std::max(b.width.value_or(t), t), h = std::max(b.height.value_or(t), t);
  DrawDiagonal(s.label.picture, s.field.placement, s.colorInk(b.color), w, h, t, b.lean != 'L');
}

void GraphicSymbol(LabelState& s, const ZplCommand&, const Params& p) {
  struct Symbol {
    std::optional<Orientation> orientation;
    int height = 0, width = 0;
  };
  const Symbol g = ReadParams(p, Symbol{}, P(&Symbol::orientation), P(&Symbol::height, 0, 32000),
                              P(&Symbol::width, 0, 32000));
  s.field.symbol =
      PendingSymbol{g.orientation.value_or(s.format.default_orientation), g.height, g.width};
}

// ^GFa,b,c,d,data: the data may itself hold commas.
void GraphicField(LabelState& s, const ZplCommand& c, const Params&) {
  struct Picture {
    char format = 'A';
    int total_bytes = 0, row_bytes = 0;
    std::string data;
  };
  const Picture g = ReadParams(SplitParams(c.params, 5), Picture{}, P(&Picture::format), Skip(),
                               P(&Picture::total_bytes, 0, 1 << 30),
                               P(&Picture::row_bytes, 0, 1 << 30), P(&Picture::data));
  if (g.format != 'A' && g.format != 'B') {
    s.warn(std::string("^GF compressed binary format '") + g.format + "' not drawn");
    return;
  }
  const size_t max_bytes = static_cast<size_t>(s.label.report.width_dots) *
                               static_cast<size_t>(s.label.report.height_dots) / 8 +
                           1024;
  std::string error;
  auto bitmap =
      DecodeGraphicField(static_cast<size_t>(g.total_bytes), static_cast<size_t>(g.row_bytes),
                         g.data, g.format == 'B', max_bytes, error);
  if (!bitmap) {
    s.warn("^GF " + error);
    return;
  }
  DrawGraphic(s, *bitmap, 1, 1);
}

// ^XGd:o.x,mx,my and ^IMd:o.x: a graphic stored by ~DG, magnified by ^XG.
void StoredGraphic(LabelState& s, const ZplCommand& c, const Params& p) {
  struct Stored {
    std::string name;
    int scale_x = 1, scale_y = 1;
  };
  const Stored g = ReadParams(p, Stored{}, P(&Stored::name), P(&Stored::scale_x, 1, 10),
                              P(&Stored::scale_y, 1, 10));
  const std::string name = PrinterMemory::objectName(g.name, "GRF");
  const Bitmap* graphic = s.memory.graphic(name);
  if (!graphic) {
    s.warn("^" + c.code + " " + name + " is not stored in the printer");
    return;
  }
  const bool magnified = c.code == "XG";
  DrawGraphic(s, *graphic, magnified ? g.scale_x : 1, magnified ? g.scale_y : 1);
}

}  // namespace corvella::zpl
