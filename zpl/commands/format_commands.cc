// The commands that change the label's format: where fields are placed from,
// how the label is turned and reversed, its size, and ^BY's barcode
// defaults.
#include "zpl/commands/command_handlers.h"

namespace corvella::zpl {

void LabelHome(LabelState& s, const ZplCommand&, const Params& p) {
  struct Home {
    int x = 0, y = 0;
  };
  const Home h = ReadParams(p, Home{}, P(&Home::x, 0, 32000), P(&Home::y, 0, 32000));
  s.format.home_x = h.x;
  s.format.home_y = h.y;
}

void LabelShift(LabelState& s, const ZplCommand&, const Params& p) {
  struct Shift {
    int dots = 0;
  };
  s.format.shift = ReadParams(p, Shift{}, P(&Shift::dots, -9999, 9999)).dots;
}

void LabelReverse(LabelState& s, const ZplCommand&, const Params& p) {
  struct Reverse {
    bool on = false;
  };
  s.format.label_reverse = ReadParams(p, Reverse{}, P(&Reverse::on)).on;
}

void PrintOrientation(LabelState& s, const ZplCommand&, const Params& p) {
  struct Turn {
    char letter = 'N';
  };
  s.format.inverted = ReadParams(p, Turn{}, P(&Turn::letter)).letter == 'I';
}

void MapClear(LabelState& s, const ZplCommand&, const Params& p) {
  struct Clear {
    bool on = true;
  };
  s.map_clear = ReadParams(p, Clear{}, P(&Clear::on)).on;
}

// ^BYw,r,h: what it leaves out stays as it was.
void BarcodeFieldDefaults(LabelState& s, const ZplCommand&, const Params& p) {
  struct Defaults {
    int module_width;
    double ratio;
    int bar_height;
  };
  LabelFormat& f = s.format;
  const Defaults d = ReadParams(p, Defaults{f.module_width, f.ratio, f.bar_height},
                                P(&Defaults::module_width, 1, 10), P(&Defaults::ratio, 2.0, 3.0),
                                P(&Defaults::bar_height, 1, 32000));
  f.module_width = d.module_width;
  f.ratio = d.ratio;
  f.bar_height = d.bar_height;
}

void PrintWidth(LabelFormat& format, const Params& p) {
  struct Width {
    int dots;
  };
  format.print_width = ReadParams(p, Width{format.print_width}, P(&Width::dots, 2, 32000)).dots;
}

void LabelLength(LabelFormat& format, const Params& p) {
  struct Length {
    int dots;
  };
  format.label_length = ReadParams(p, Length{format.label_length}, P(&Length::dots, 1, 32000)).dots;
}

// ^MN: N is continuous media; Y, W (web) and M (mark) are labels of the
// media's own length, whatever ^LL says.
void MediaTracking(LabelFormat& format, const Params& p) {
  struct Tracking {
    char letter;
  };
  format.continuous =
      ReadParams(p, Tracking{format.continuous ? 'N' : 'Y'}, P(&Tracking::letter)).letter == 'N';
}

}  // namespace corvella::zpl
