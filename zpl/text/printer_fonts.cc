#include "zpl/text/printer_fonts.h"

#include <algorithm>
#include <cmath>

namespace corvella::zpl {
namespace {

struct BitmapCell {
  char name;
  int height;
  int width;
  int gap;  // blank dots after each cell
};

// The printer's bitmap fonts: base cell (height x width) and the gap
// between cells, in dots. Fonts P-V are the printer's preset sizes, their
// cells set edge to edge.
constexpr BitmapCell kBitmapCells[] = {
    {'A', 9, 5, 1},   {'B', 11, 7, 2},  {'C', 18, 10, 2}, {'D', 18, 10, 2}, {'E', 28, 15, 5},
    {'F', 26, 13, 3}, {'G', 60, 40, 8}, {'H', 21, 13, 6}, {'P', 20, 18, 0}, {'Q', 28, 24, 0},
    {'R', 35, 31, 0}, {'S', 40, 35, 0}, {'T', 48, 42, 0}, {'U', 59, 53, 0}, {'V', 80, 71, 0},
};

// Largest cell drawn; bigger requests are drawn at this size.
constexpr int kMaxCell = 1500;

// The whole multiple of the base cell nearest to what is asked, 1 to 10.
int Magnification(int asked, int base) {
  if (asked <= 0) return 0;
  return static_cast<int>(std::clamp(std::lround(static_cast<double>(asked) / base), 1L, 10L));
}

}  // namespace

bool IsPrinterFont(char name) {
  if (name == '0') return true;
  for (const BitmapCell& cell : kBitmapCells) {
    if (cell.name == name) return true;
  }
  return false;
}

FontChoice ResolveFont(char name, int height, int width) {
  for (const BitmapCell& cell : kBitmapCells) {
    if (cell.name != name) continue;
    int mag_h = Magnification(height, cell.height);
    int mag_w = Magnification(width, cell.width);
    if (mag_h == 0) mag_h = mag_w == 0 ? 1 : mag_w;
    if (mag_w == 0) mag_w = mag_h;
    return {name, cell.height * mag_h, cell.width * mag_w, cell.gap * mag_w};
  }
  int h = height > 0 ? height : (width > 0 ? width : 15);
  int w = width > 0 ? width : h;
  return {'0', std::clamp(h, 10, kMaxCell), std::clamp(w, 10, kMaxCell), 0};
}

}  // namespace corvella::zpl
