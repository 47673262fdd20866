#include "tools/zpl/label_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "tools/zpl/barcode_field.h"
#include "tools/zpl/code_page.h"
#include "tools/zpl/graphic_field.h"
#include "tools/zpl/label_text.h"
#include "tools/zpl/printer_memory.h"
#include "tools/zpl/zpl_commands.h"

namespace corvella::zpl {
namespace {

// Longest field data a printer takes.
constexpr size_t kMaxFieldBytes = 3072;

// Settings that only a physical printer needs: accepted, nothing to draw.
constexpr const char* kPrinterSettings[] = {
    "DY", "EG", "FC", "FL", "FM", "HB", "HD", "HH", "HI", "HM", "HQ", "HS", "HZ", "ID",
    "IL", "IS", "JA", "JB", "JC", "JD", "JE", "JG", "JI", "JJ", "JL", "JM", "JN", "JO",
    "JP", "JR", "JS", "JT", "JU", "JW", "JZ", "KD", "KL", "KN", "KP", "KV", "LT", "MD",
    "MF", "MI", "ML", "MM", "MP", "MT", "MU", "MW", "NC", "NI", "NN", "NP", "NT", "PA",
    "PF", "PH", "PM", "PP", "PQ", "PR", "PS", "RB", "RF", "RS", "RT", "RW", "RZ", "SC",
    "SD", "SE", "SF", "SL", "SN", "SO", "SP", "SQ", "SR", "SS", "ST", "SX", "SZ", "TA",
    "TO", "WA", "WD", "WL", "WR", "XB", "CD", "CM", "CO", "CV", "CW", "XA", "XZ",
};

std::optional<Orientation> ParseOrientation(char c) {
  switch (c) {
    case 'N':
      return Orientation::kNormal;
    case 'R':
      return Orientation::kRotated;
    case 'I':
      return Orientation::kInverted;
    case 'B':
      return Orientation::kBottomUp;
  }
  return std::nullopt;
}

// Settings that hold from one label to the next until a document changes them.
struct FormatState {
  int home_x = 0, home_y = 0;  // ^LH
  int shift = 0;               // ^LS
  int print_width = 0;         // ^PW, 0: the default size
  int label_length = 0;        // ^LL
  bool continuous = false;     // ^MNN: continuous media, cut at ^LL
  bool inverted = false;       // ^PO
  bool label_reverse = false;  // ^LR
  CodePage code_page;          // ^CI
  FontChoice default_font = ResolveFont('A', 0, 0);
  char default_font_name = 'A';
  int default_height = 0;  // as ^CF asked, 0 when it did not
  int default_width = 0;
  Orientation default_orientation = Orientation::kNormal;  // ^FW
  bool default_right_justified = false;                    // ^FW
  std::string font_by_name = "0.FNT";                      // ^A@, until another name
  int module_width = 2;                                    // ^BY
  double ratio = 3.0;
  int bar_height = 10;
};

struct PendingBarcode {
  std::string code;  // BC, B3, ...
  std::vector<std::string> params;
  Orientation orientation = Orientation::kNormal;
};

// ^GS: symbols drawn from the field data's letters.
struct GraphicSymbol {
  Orientation orientation = Orientation::kNormal;
  int height = 0;
  int width = 0;
};

// The field being built between its origin and ^FS.
struct FieldState {
  bool placed = false;
  Placement placement;
  std::optional<FontChoice> font;
  std::optional<Orientation> orientation;
  std::optional<TextBlock> block;
  bool reverse = false;
  std::optional<char> hex_indicator;
  std::optional<PendingBarcode> barcode;
  std::optional<GraphicSymbol> symbol;
  std::optional<std::string> data;
};

// ^FH: the indicator followed by two hex digits stands for that byte.
std::string ExpandHexEscapes(const std::string& data, char indicator) {
  std::string out;
  out.reserve(data.size());
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == indicator && i + 2 < data.size() && HexDigit(data[i + 1]) >= 0 &&
        HexDigit(data[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(data[i + 1]) * 16 + HexDigit(data[i + 2])));
      i += 2;
    } else {
      out.push_back(data[i]);
    }
  }
  return out;
}

// ^A@ names: the printer's own fonts by file name. One letter or digit is
// the font of that name (A.FNT, 0.FNT, ...); the resident TrueType font
// TT0003M_ is drawn as the scalable font. Returns nothing for a font this
// printer has not stored.
std::optional<char> FontOfName(const std::string& object_name) {
  const std::string stem = object_name.substr(0, object_name.find('.'));
  if (stem.size() == 1 && std::isalnum(static_cast<unsigned char>(stem[0]))) return stem[0];
  if (stem == "TT0003M_") return '0';
  return std::nullopt;
}

// Adds an ellipse centred on (cx, cy) to the path as a sub-path of its own;
// nothing when a radius is not positive.
void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
  if (rx <= 0 || ry <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}

class LabelDrawing {
 public:
  LabelDrawing(const RenderOptions& options, FormatState& format, const PrinterMemory& memory,
               LabelText& text, RenderedLabel& label)
      : options_(options), format_(format), memory_(memory), text_(text), label_(label) {}

  // Draws the label; with ^MCN in it, *retained becomes its picture before
  // ^PO turns it, for the next label to start from.
  void run(const std::vector<const ZplCommand*>& commands, std::optional<LabelCanvas>* retained) {
    for (const ZplCommand* command : commands) apply(*command);
    if (field_.data || field_.barcode) finishField();
    if (!map_clear_) {
      LabelCanvas kept(label_.picture.width(), label_.picture.height());
      kept.drawCanvas(label_.picture);
      *retained = std::move(kept);
    } else {
      retained->reset();
    }
    if (format_.inverted) label_.picture.invert();
  }

 private:
  void warn(std::string message) {
    if (label_.report.warnings.size() < 100) label_.report.warnings.push_back(std::move(message));
  }
  static std::string Name(const ZplCommand& c) { return (c.control ? "~" : "^") + c.code; }

  Ink ink() const { return field_.reverse != format_.label_reverse ? Ink::kReverse : Ink::kBlack; }

  Placement placement(Orientation orientation) const {
    Placement p = field_.placement;
    p.orientation = orientation;
    return p;
  }

  using Params = std::vector<std::string>;

  void apply(const ZplCommand& c) {
    const CommandEntry* entry = FindCommand(c.code);
    if (!entry) {
      ++label_.report.skipped[Name(c)];
      return;
    }
    if (entry->ignored) {
      ++label_.report.ignored[Name(c)];
      return;
    }
    if (entry->draw) (this->*entry->draw)(c, SplitParams(c.params));
    ++label_.report.drawn[Name(c)];
  }

 public:
  // What a command does: `draw` while the label is drawn, `setup` to the
  // settings that size the picture, before drawing begins. A command with
  // neither is accepted and has nothing to do (a comment, or something
  // taken care of before the label is drawn); an `ignored` one is a setting
  // only a physical printer needs.
  struct CommandEntry {
    void (LabelDrawing::*draw)(const ZplCommand&, const Params&) = nullptr;
    void (*setup)(FormatState&, const Params&) = nullptr;
    bool ignored = false;
  };
  static const CommandEntry* FindCommand(const std::string& code);

 private:
  void fieldOrigin(const ZplCommand& c, const Params& p) {
    if (field_.data || field_.barcode) finishField();
    field_.placed = true;
    field_.placement.typeset = c.code == "FT";
    // ^FT without coordinates goes on where the last text ended.
    const bool continues = c.code == "FT" && (p.size() < 2 || (p[0].empty() && p[1].empty()));
    if (!continues) {
      field_.placement.x = format_.home_x - format_.shift + ParamInt(p, 0, 0, 0, 32000);
      field_.placement.y = format_.home_y + ParamInt(p, 1, 0, 0, 32000);
    }
    // Third parameter: 0 left, 1 right, 2 as the script runs (left here).
    const int justification = ParamInt(p, 2, format_.default_right_justified ? 1 : 0, 0, 2);
    field_.placement.right_justified = justification == 1;
  }

  void fieldData(const ZplCommand& c, const Params&) {
    std::string data = c.params;
    if (data.size() > kMaxFieldBytes) {
      warn(Name(c) + " data longer than " + std::to_string(kMaxFieldBytes) + " bytes cut");
      data.resize(kMaxFieldBytes);
    }
    field_.data = std::move(data);
  }

  void fieldSeparator(const ZplCommand&, const Params&) { finishField(); }

  void fieldHex(const ZplCommand& c, const Params&) {
    field_.hex_indicator = c.params.empty() ? '_' : c.params[0];
  }

  void fieldReverse(const ZplCommand&, const Params&) { field_.reverse = true; }

  void fieldBlock(const ZplCommand&, const Params& p) {
    TextBlock block;
    block.width = ParamInt(p, 0, 0, 0, 32000);
    block.max_lines = ParamInt(p, 1, 1, 1, 999);
    block.spacing = ParamInt(p, 2, 0, -9999, 9999);
    switch (ParamLetter(p, 3, 'L')) {
      case 'C':
        block.justification = Justification::kCenter;
        break;
      case 'R':
        block.justification = Justification::kRight;
        break;
      case 'J':
        block.justification = Justification::kJustified;
        break;
      default:
        block.justification = Justification::kLeft;
    }
    block.indent = ParamInt(p, 4, 0, 0, 9999);
    field_.block = block;
  }

  void fieldFont(const ZplCommand& c, const Params&) {
    // ^Afo,h,w: the font name is the first character of the parameters;
    // ^A@o,h,w,d:o.x names a font file.
    char name = c.params.empty() ? '0' : AsciiUpper(c.params[0]);
    const Params rest = SplitParams(c.params.size() > 1 ? c.params.substr(1) : "");
    if (name == '@') {
      if (rest.size() > 3 && !rest[3].empty()) {
        format_.font_by_name = PrinterMemory::ObjectName(rest[3], "FNT");
      }
      const std::optional<char> font = FontOfName(format_.font_by_name);
      if (!font) warn("^A@ font " + format_.font_by_name + " is not in the printer: font 0 drawn");
      name = font.value_or('0');
    }
    if (auto o = ParseOrientation(ParamLetter(rest, 0, 'X'))) field_.orientation = *o;
    if (!IsPrinterFont(name)) {
      // A printer draws a font it does not have in its default font.
      if (unknown_fonts_.find(name) == std::string::npos) {
        unknown_fonts_ += name;
        warn(std::string("^A font ") + name + " is not in the printer: font " +
             format_.default_font_name + " drawn");
      }
      name = format_.default_font_name;
    }
    int height = ParamInt(rest, 1, 0, 0, 32000), width = ParamInt(rest, 2, 0, 0, 32000);
    if (height == 0 && width == 0) {
      height = format_.default_height;
      width = format_.default_width;
    }
    field_.font = ResolveFont(name, height, width);
  }

  // ^CFf,h,w: what it leaves out stays as it was.
  void defaultFont(const ZplCommand&, const Params& p) {
    const char name = ParamLetter(p, 0, format_.default_font_name);
    if (IsPrinterFont(name)) format_.default_font_name = name;
    format_.default_height = ParamInt(p, 1, format_.default_height, 0, 32000);
    format_.default_width = ParamInt(p, 2, format_.default_width, 0, 32000);
    format_.default_font =
        ResolveFont(format_.default_font_name, format_.default_height, format_.default_width);
  }

  void fieldDefaults(const ZplCommand&, const Params& p) {
    if (auto o = ParseOrientation(ParamLetter(p, 0, 'N'))) format_.default_orientation = *o;
    if (p.size() > 1 && !p[1].empty())
      format_.default_right_justified = ParamInt(p, 1, 0, 0, 2) == 1;
  }

  void codePage(const ZplCommand&, const Params& p) {
    std::string warning;
    format_.code_page.select(p, warning);
    if (!warning.empty()) warn(warning);
  }

  void labelHome(const ZplCommand&, const Params& p) {
    format_.home_x = ParamInt(p, 0, 0, 0, 32000);
    format_.home_y = ParamInt(p, 1, 0, 0, 32000);
  }

  void labelShift(const ZplCommand&, const Params& p) {
    format_.shift = ParamInt(p, 0, 0, -9999, 9999);
  }

  void labelReverse(const ZplCommand&, const Params& p) {
    format_.label_reverse = ParamYesNo(p, 0, false);
  }

  void printOrientation(const ZplCommand&, const Params& p) {
    format_.inverted = ParamLetter(p, 0, 'N') == 'I';
  }

  static void printWidth(FormatState& format, const Params& p) {
    format.print_width = ParamInt(p, 0, format.print_width, 2, 32000);
  }

  static void labelLength(FormatState& format, const Params& p) {
    format.label_length = ParamInt(p, 0, format.label_length, 1, 32000);
  }

  // ^MN: N is continuous media; Y, W (web) and M (mark) are labels of the
  // media's own length, whatever ^LL says.
  static void mediaTracking(FormatState& format, const Params& p) {
    const char tracking = ParamLetter(p, 0, format.continuous ? 'N' : 'Y');
    format.continuous = tracking == 'N';
  }

  void barcodeDefaults(const ZplCommand&, const Params& p) {
    format_.module_width = ParamInt(p, 0, format_.module_width, 1, 10);
    format_.ratio = ParamDouble(p, 1, format_.ratio, 2.0, 3.0);
    format_.bar_height = ParamInt(p, 2, format_.bar_height, 1, 32000);
  }

  void barcode(const ZplCommand& c, const Params& p) {
    PendingBarcode barcode{c.code, p, format_.default_orientation};
    if (c.code != "BD") {
      if (auto o = ParseOrientation(ParamLetter(p, 0, 'X'))) barcode.orientation = *o;
    }
    field_.barcode = std::move(barcode);
  }

  void graphicCircle(const ZplCommand&, const Params& p) {
    const int d = ParamInt(p, 0, 3, 3, 4095);
    graphicEllipse(d, d, ParamInt(p, 1, 1, 1, 4095), ParamLetter(p, 2, 'B'));
  }

  void graphicEllipse(const ZplCommand&, const Params& p) {
    graphicEllipse(ParamInt(p, 0, 3, 3, 4095), ParamInt(p, 1, 3, 3, 4095),
                   ParamInt(p, 2, 1, 1, 4095), ParamLetter(p, 3, 'B'));
  }

  void graphicSymbol(const ZplCommand&, const Params& p) {
    GraphicSymbol symbol{format_.default_orientation, ParamInt(p, 1, 0, 0, 32000),
                         ParamInt(p, 2, 0, 0, 32000)};
    if (auto o = ParseOrientation(ParamLetter(p, 0, 'X'))) symbol.orientation = *o;
    field_.symbol = symbol;
  }

  void mapClear(const ZplCommand&, const Params& p) { map_clear_ = ParamYesNo(p, 0, true); }

  Ink colorInk(char color) const {
    if (color == 'W') return field_.reverse || format_.label_reverse ? Ink::kReverse : Ink::kWhite;
    return ink();
  }

  void graphicBox(const ZplCommand&, const Params& p) {
    const int t = ParamInt(p, 2, 1, 1, 32000);
    const int w = std::max(ParamInt(p, 0, t, 1, 32000), t);
    const int h = std::max(ParamInt(p, 1, t, 1, 32000), t);
    const char color = ParamLetter(p, 3, 'B');
    const int rounding = ParamInt(p, 4, 0, 0, 8);
    const double radius = rounding * std::min(w, h) / 16.0;
    Placement at = placement(Orientation::kNormal);
    at.anchor_v = h;  // ^FT places the box by its bottom left corner
    const cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, w, h);
    auto rect = [](cairo_t* cr, double x, double y, double rw, double rh, double r) {
      if (rw <= 0 || rh <= 0) return;
      r = std::min({r, rw / 2, rh / 2});
      if (r <= 0) {
        cairo_rectangle(cr, x, y, rw, rh);
        return;
      }
      cairo_new_sub_path(cr);
      cairo_arc(cr, x + rw - r, y + r, r, -M_PI / 2, 0);
      cairo_arc(cr, x + rw - r, y + rh - r, r, 0, M_PI / 2);
      cairo_arc(cr, x + r, y + rh - r, r, M_PI / 2, M_PI);
      cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
      cairo_close_path(cr);
    };
    label_.picture.fill(matrix, colorInk(color), [&](cairo_t* cr) {
      rect(cr, 0, 0, w, h, radius);
      if (2 * t < w && 2 * t < h) rect(cr, t, t, w - 2 * t, h - 2 * t, std::max(0.0, radius - t));
    });
  }

  void graphicEllipse(int w, int h, int t, char color) {
    Placement at = placement(Orientation::kNormal);
    at.anchor_v = h;
    const cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, w, h);
    label_.picture.fill(matrix, colorInk(color), [&](cairo_t* cr) {
      EllipsePath(cr, w / 2.0, h / 2.0, w / 2.0, h / 2.0);
      EllipsePath(cr, w / 2.0, h / 2.0, w / 2.0 - t, h / 2.0 - t);
    });
  }

  void graphicDiagonal(const ZplCommand&, const Params& p) {
    const int t = ParamInt(p, 2, 1, 1, 32000);
    const int w = std::max(ParamInt(p, 0, t, 3, 32000), t);
    const int h = std::max(ParamInt(p, 1, t, 3, 32000), t);
    const char color = ParamLetter(p, 3, 'B');
    const bool right_leaning = ParamLetter(p, 4, 'R') != 'L';  // '/' as opposed to '\'
    Placement at = placement(Orientation::kNormal);
    at.anchor_v = h;
    const cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, w, h);
    label_.picture.fill(matrix, colorInk(color), [&](cairo_t* cr) {
      if (right_leaning) {
        cairo_move_to(cr, 0, h);
        cairo_line_to(cr, t, h);
        cairo_line_to(cr, w, 0);
        cairo_line_to(cr, w - t, 0);
      } else {
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, t, 0);
        cairo_line_to(cr, w, h);
        cairo_line_to(cr, w - t, h);
      }
      cairo_close_path(cr);
    });
  }

  void graphicField(const ZplCommand& c, const Params&) {
    // ^GFa,b,c,d,data: the data may itself hold commas.
    const Params p = SplitParams(c.params, 5);
    const std::string data = p.size() == 5 ? p[4] : "";
    const char format = ParamLetter(p, 0, 'A');
    if (format != 'A' && format != 'B') {
      warn(std::string("^GF compressed binary format '") + format + "' not drawn");
      return;
    }
    const int total = ParamInt(p, 2, 0, 0, 1 << 30);
    const int per_row = ParamInt(p, 3, 0, 0, 1 << 30);
    const size_t max_bytes = static_cast<size_t>(label_.report.width_dots) *
                                 static_cast<size_t>(label_.report.height_dots) / 8 +
                             1024;
    std::string error;
    auto bitmap = DecodeGraphicField(static_cast<size_t>(total), static_cast<size_t>(per_row), data,
                                     format == 'B', max_bytes, error);
    if (!bitmap) {
      warn("^GF " + error);
      return;
    }
    drawGraphic(*bitmap, 1, 1);
  }

  // A picture at the field origin (^FT: by its bottom left corner).
  void drawGraphic(const Bitmap& bitmap, int scale_x, int scale_y) {
    Placement at = placement(Orientation::kNormal);
    const double w = bitmap.width * scale_x, h = bitmap.height * scale_y;
    at.anchor_v = h;
    label_.picture.drawBitmap(LabelCanvas::FieldMatrix(at, w, h), ink(), bitmap, scale_x, scale_y);
  }

  // ^XGd:o.x,mx,my and ^IMd:o.x: a graphic stored by ~DG, magnified by ^XG.
  void storedGraphic(const ZplCommand& c, const Params& p) {
    const std::string& code = c.code;
    const std::string name = PrinterMemory::ObjectName(p.empty() ? "" : p[0], "GRF");
    const Bitmap* graphic = memory_.graphic(name);
    if (!graphic) {
      warn("^" + code + " " + name + " is not stored in the printer");
      return;
    }
    const bool magnified = code == "XG";
    drawGraphic(*graphic, magnified ? ParamInt(p, 1, 1, 1, 10) : 1,
                magnified ? ParamInt(p, 2, 1, 1, 10) : 1);
  }

  std::string fieldBytes() const {
    std::string data = field_.data.value_or("");
    if (field_.hex_indicator) data = ExpandHexEscapes(data, *field_.hex_indicator);
    return data;
  }

  void finishField() {
    if (field_.barcode) {
      drawBarcode(*field_.barcode, fieldBytes());
    } else if (field_.symbol && field_.data) {
      drawGraphicSymbols(*field_.symbol, fieldBytes());
    } else if (field_.data) {
      drawText(format_.code_page.decode(fieldBytes()));
    }
    // The origin stays for a following ^FT without coordinates.
    const Placement kept = field_.placement;
    field_ = FieldState{};
    field_.placement = kept;
  }

  void drawText(const std::string& text) {
    const FontChoice font = field_.font.value_or(format_.default_font);
    const Orientation orientation = field_.orientation.value_or(format_.default_orientation);
    const TextBlock* block = field_.block ? &*field_.block : nullptr;
    // In a block, "\\&" breaks the line.
    std::string shown = text;
    if (block) {
      for (size_t at = shown.find("\\&"); at != std::string::npos; at = shown.find("\\&", at)) {
        shown.replace(at, 2, "\n");
      }
      // A break at the very end starts no line.
      if (!shown.empty() && shown.back() == '\n') shown.pop_back();
    }
    const LabelText::Layout& layout = text_.layOut(shown, font, block);
    if (layout.truncated) warn("^FB text has more lines than the block allows");
    Placement at = placement(orientation);
    at.anchor_v = block ? layout.last_baseline : layout.baseline;
    label_.picture.draw(LabelCanvas::FieldMatrix(at, layout.width, layout.height), ink(),
                        [&](cairo_t* cr) { text_.draw(cr); });
    moveOn(at, layout.advance, layout.width, layout.height);
  }

  // A following ^FT without coordinates goes on `advance` dots along the
  // field's baseline from where this one began.
  void moveOn(const Placement& at, double advance, double width, double height) {
    const cairo_matrix_t m = LabelCanvas::FieldMatrix(at, width, height);
    double end_x = advance, end_y = at.anchor_v;
    cairo_matrix_transform_point(&m, &end_x, &end_y);
    field_.placement.x = end_x;
    field_.placement.y = end_y;
  }

  // ^GS: the marks of the letters A (registered), B (copyright), C
  // (trademark), D (UL) and E (CSA), in a cell `h` dots high (the height
  // ^CF gave, else the symbols' own 24 dots), measured from a printer's
  // pictures: marks reach above the field origin, under ^FT their cell
  // stands 0.73 h above the baseline; a space moves on by 1.12 h and a mark
  // does not move on, and a following field starts 0.95 h after the last.
  void drawGraphicSymbols(const GraphicSymbol& symbol, const std::string& letters) {
    constexpr int kSymbolCell = 24;
    const int asked = field_.font ? field_.font->height : format_.default_height;
    const double h = symbol.height > 0 ? symbol.height : asked > 0 ? asked : kSymbolCell;
    const double sx = symbol.width > 0 ? symbol.width / h : 1.0;
    double pen = 0;
    std::vector<std::pair<double, char>> marks;
    for (char c : letters) {
      const char letter = AsciiUpper(c);
      if (letter == ' ') pen += 1.12 * h;
      if (letter >= 'A' && letter <= 'E') marks.emplace_back(pen, letter);
    }
    if (marks.empty()) {
      warn("^GS data '" + letters + "' has no symbol letter (A to E)");
      return;
    }
    Placement at = placement(symbol.orientation);
    at.anchor_v = 0.73 * h;
    const double width = (pen + 1.2 * h) * sx;
    cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, width, h);
    cairo_matrix_scale(&matrix, sx, 1);
    for (auto [x, letter] : marks) {
      cairo_matrix_t m = matrix;
      cairo_matrix_translate(&m, x, 0);
      drawMark(m, letter, h);
    }
    moveOn(at, (marks.back().first + 0.95 * h) * sx, width, h);
  }

  // Letters of font 0 with capitals `cap` dots tall, `wide` times as wide
  // as tall a cell, centred on (cx, cy).
  void drawMarkLetters(const cairo_matrix_t& matrix, const std::string& text, double cap,
                       double wide, double cx, double cy) {
    const int size = std::max(1, static_cast<int>(std::lround(cap / 0.77)));
    const int width = std::max(1, static_cast<int>(std::lround(size * wide)));
    const LabelText::Layout& layout = text_.layOut(text, ResolveFont('0', size, width), nullptr);
    label_.picture.draw(matrix, ink(), [&](cairo_t* cr) {
      cairo_translate(cr, cx - layout.width / 2, cy - cap / 2);
      text_.draw(cr);
    });
  }

  void drawMark(const cairo_matrix_t& matrix, char letter, double h) {
    if (letter == 'C') {
      drawMarkLetters(matrix, "TM", 0.43 * h, 1.3, 0.44 * h, 0.11 * h);
      return;
    }
    const bool small = letter == 'A' || letter == 'B';
    const double cx = small ? 0.35 * h : 0.57 * h, cy = small ? 0.19 * h : 0.35 * h;
    const double r = small ? 0.31 * h : 0.505 * h;
    const double t = small ? 0.07 * h : letter == 'D' ? 0.1 * h : 0.15 * h;
    // The UL and CSA marks carry a small registered mark of their own.
    const double tiny_x = letter == 'D' ? 0.4 * h : 1.0 * h;
    const double tiny_y = letter == 'D' ? 0.6 * h : 0.35 * h;
    label_.picture.fill(matrix, ink(), [&](cairo_t* cr) {
      if (letter == 'E') {
        // The CSA mark's C: a ring open to the right.
        constexpr double kOpen = 0.6;
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, r, kOpen, 2 * M_PI - kOpen);
        cairo_arc_negative(cr, cx, cy, r - t, 2 * M_PI - kOpen, kOpen);
        cairo_close_path(cr);
      } else {
        EllipsePath(cr, cx, cy, r, r);
        EllipsePath(cr, cx, cy, r - t, r - t);
      }
      if (!small) {
        EllipsePath(cr, tiny_x, tiny_y, 0.07 * h, 0.07 * h);
        EllipsePath(cr, tiny_x, tiny_y, 0.05 * h, 0.05 * h);
      }
    });
    switch (letter) {
      case 'A':
        drawMarkLetters(matrix, "R", 0.32 * h, 1.1, cx, cy);
        break;
      case 'B':
        drawMarkLetters(matrix, "C", 0.32 * h, 1.1, cx, cy);
        break;
      case 'D':
        drawMarkLetters(matrix, "U", 0.36 * h, 1.0, cx - 0.12 * h, cy - 0.04 * h);
        drawMarkLetters(matrix, "L", 0.36 * h, 1.0, cx + 0.14 * h, cy + 0.08 * h);
        break;
      case 'E':
        drawMarkLetters(matrix, "SA", 0.45 * h, 1.1, cx - 0.02 * h, cy);
        break;
    }
  }

  void drawBarcode(const PendingBarcode& barcode, const std::string& data) {
    const BarcodeDefaults defaults{format_.module_width, format_.ratio, format_.bar_height,
                                   options_.dots_per_mm};
    std::string error;
    const std::optional<BarcodeField> field =
        ReadBarcodeField(barcode.code, barcode.params, data, defaults, error);
    if (!field) {
      warn("^" + barcode.code + " not drawn: " + error);
      return;
    }
    for (const std::string& warning : field->warnings) warn(warning);
    const Orientation orientation = field->orientable ? barcode.orientation : Orientation::kNormal;
    const BarcodeModules& modules = field->modules;
    if (field->shape == BarcodeField::Shape::kMaxiCode) {
      drawMaxiCode(modules, orientation);
      return;
    }
    const bool linear = field->shape == BarcodeField::Shape::kLinear;
    const int module = field->module;
    // Module columns to dots: wide elements of Code 39 and 2 of 5 follow the ratio.
    std::vector<std::pair<int, bool>> runs;  // width in dots, dark
    int total_width = 0;
    int height = field->bar_height;
    if (linear) {
      for (int c = 0; c < modules.columns;) {
        const bool dark = modules.at(0, c);
        int n = 1;
        while (c + n < modules.columns && modules.at(0, c + n) == dark) ++n;
        const int dots = field->wide > 0 ? (n == 1 ? module : field->wide) : n * module;
        runs.emplace_back(dots, dark);
        total_width += dots;
        c += n;
      }
    } else {
      total_width = modules.columns * module;
      height = modules.rows * field->row_height;
    }
    const FontChoice line_font = InterpretationFont(module);
    const int line_gap = (5 * module + 1) / 2;
    const bool interpretation =
        linear && (field->line_below || field->line_above) && !modules.readable.empty();
    const int text_height = interpretation ? line_font.height + line_gap : 0;
    const int bars_top = interpretation && field->line_above ? text_height : 0;
    Placement at = placement(orientation);
    at.anchor_v = bars_top + height;  // ^FT: the bottom left of the bars
    // A printer draws a QR code placed by its top left corner (^FO) lower
    // by the bar height ^BY last set; placed by ^FT, where it is asked.
    if (barcode.code == "BQ" && !at.typeset) at.y += format_.bar_height;
    const cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, total_width, height + text_height);
    const int row_height = field->row_height;
    label_.picture.fill(matrix, ink(), [&](cairo_t* cr) {
      if (linear) {
        int x = 0;
        for (auto [dots, dark] : runs) {
          if (dark) cairo_rectangle(cr, x, bars_top, dots, height);
          x += dots;
        }
        return;
      }
      for (int r = 0; r < modules.rows; ++r) {
        for (int c = 0; c < modules.columns;) {
          if (!modules.at(r, c)) {
            ++c;
            continue;
          }
          int n = 1;
          while (c + n < modules.columns && modules.at(r, c + n)) ++n;
          cairo_rectangle(cr, c * module, r * row_height, n * module, row_height);
          c += n;
        }
      }
    });
    if (interpretation) {
      const LabelText::Layout& layout = text_.layOut(modules.readable, line_font, nullptr);
      const double x = (total_width - layout.width) / 2;
      const double y = field->line_above ? 0 : height + line_gap;
      label_.picture.draw(matrix, ink(), [&](cairo_t* cr) {
        cairo_translate(cr, x, y);
        text_.draw(cr);
      });
    }
  }

  // The interpretation line grows with the module: a printer sets its
  // digits 6 modules apart and 7.5 modules tall (font 0, 9.75 modules
  // high, as wide as puts its digits 6 modules apart), 2.5 modules below
  // the bars.
  FontChoice InterpretationFont(int module) {
    const int height = static_cast<int>(std::lround(9.75 * module));
    const int width = static_cast<int>(std::lround(12.7 * module));
    constexpr const char kDigits[] = "0123456789";
    const double pitch = text_.layOut(kDigits, ResolveFont('0', height, width), nullptr).width / 10;
    return ResolveFont('0', height, static_cast<int>(std::lround(width * 6 * module / pitch)));
  }

  // MaxiCode: 33 rows of offset modules around the finder rings, about an
  // inch across at any resolution.
  void drawMaxiCode(const BarcodeModules& modules, Orientation orientation) {
    const double pitch_x = 28.14 / 30 * options_.dots_per_mm;
    const double pitch_y = 26.91 / 33 * options_.dots_per_mm;
    const double w = 30 * pitch_x, h = 33 * pitch_y;
    Placement at = placement(orientation);
    at.anchor_v = h;
    const cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, w, h);
    label_.picture.fill(matrix, ink(), [&](cairo_t* cr) {
      for (int r = 0; r < modules.rows; ++r) {
        for (int c = 0; c < modules.columns; ++c) {
          if (!modules.at(r, c)) continue;
          const double cx = (c + 0.5 + (r % 2) * 0.5) * pitch_x;
          const double cy = (r + 0.5) * pitch_y;
          const double hw = pitch_x * 0.45, hh = pitch_y * 0.5;
          cairo_move_to(cr, cx - hw, cy - hh * 0.5);
          cairo_line_to(cr, cx, cy - hh);
          cairo_line_to(cr, cx + hw, cy - hh * 0.5);
          cairo_line_to(cr, cx + hw, cy + hh * 0.5);
          cairo_line_to(cr, cx, cy + hh);
          cairo_line_to(cr, cx - hw, cy + hh * 0.5);
          cairo_close_path(cr);
        }
      }
      // Three dark rings, the innermost a disc's edge, around the centre.
      const double cx = w / 2, cy = h / 2;
      for (double outer : {3.87, 2.74, 1.61}) {
        const double inner = outer - 0.565;
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, outer * options_.dots_per_mm, 0, 2 * M_PI);
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, inner * options_.dots_per_mm, 0, 2 * M_PI);
      }
    });
  }

  const RenderOptions& options_;
  FormatState& format_;
  const PrinterMemory& memory_;
  LabelText& text_;
  RenderedLabel& label_;
  FieldState field_;
  bool map_clear_ = true;      // ^MC
  std::string unknown_fonts_;  // font names warned of in this label
};

const LabelDrawing::CommandEntry* LabelDrawing::FindCommand(const std::string& code) {
  using D = LabelDrawing;
  static const std::unordered_map<std::string, CommandEntry> kCommands = [] {
    std::unordered_map<std::string, CommandEntry> table = {
        {"FO", {&D::fieldOrigin}},
        {"FT", {&D::fieldOrigin}},
        {"FD", {&D::fieldData}},
        {"FV", {&D::fieldData}},
        {"FS", {&D::fieldSeparator}},
        {"FH", {&D::fieldHex}},
        {"FR", {&D::fieldReverse}},
        {"FB", {&D::fieldBlock}},
        {"A", {&D::fieldFont}},
        {"CF", {&D::defaultFont}},
        {"FW", {&D::fieldDefaults}},
        {"CI", {&D::codePage}},
        {"LH", {&D::labelHome}},
        {"LS", {&D::labelShift}},
        {"LR", {&D::labelReverse}},
        {"PO", {&D::printOrientation}},
        {"PW", {nullptr, &D::printWidth}},
        {"LL", {nullptr, &D::labelLength}},
        {"MN", {nullptr, &D::mediaTracking}},
        {"BY", {&D::barcodeDefaults}},
        {"GB", {&D::graphicBox}},
        {"GC", {&D::graphicCircle}},
        {"GE", {&D::graphicEllipse}},
        {"GD", {&D::graphicDiagonal}},
        {"GF", {&D::graphicField}},
        {"GS", {&D::graphicSymbol}},
        {"XG", {&D::storedGraphic}},
        {"IM", {&D::storedGraphic}},
        {"MC", {&D::mapClear}},
        // Comments and prefix changes the parser has made; stored formats
        // and graphics, taken care of before the label is drawn.
        {"FX", {}},
        {"CC", {}},
        {"CT", {}},
        {"DF", {}},
        {"XF", {}},
        {"FN", {}},
        {"DG", {}},
        {"DN", {}},
    };
    for (const char* setting : kPrinterSettings) table[setting] = CommandEntry{.ignored = true};
    return table;
  }();
  if (auto found = kCommands.find(code); found != kCommands.end()) return &found->second;
  static const CommandEntry kBarcode{&D::barcode};
  return IsBarcodeCommand(code) ? &kBarcode : nullptr;
}

// Dots for a length in millimetres: a printer rounds up (4 inches at 8
// dots/mm are 812.8 dots, 813 on the printer); a hair's float error above a
// whole number is not a dot more.
int DotsFor(double mm, int dots_per_mm) {
  return static_cast<int>(std::ceil(mm * dots_per_mm - 1e-6));
}

// The picture and the part of it ink can reach, in dots.
struct PageArea {
  int width = 0;
  int height = 0;
  int print_left = 0;
  int print_width = 0;
};

PageArea PageFor(const RenderOptions& options, const FormatState& format,
                 std::vector<std::string>& warnings) {
  // The size of a label when neither the media nor the document gives one.
  constexpr double kDefaultWidthMm = 101.6, kDefaultHeightMm = 152.4;
  const int dpmm = options.dots_per_mm;
  PageArea page;
  if (options.media) {
    // The picture is the media; a narrower print width is centred on it,
    // and only continuous media end where the label length says.
    page.width = DotsFor(options.media->width_mm, dpmm);
    page.height = format.continuous && format.label_length > 0
                      ? format.label_length
                      : DotsFor(options.media->height_mm, dpmm);
    if (format.print_width > 0 && format.print_width < page.width) {
      page.print_left = (page.width - format.print_width) / 2;
      page.print_width = format.print_width;
    }
  } else {
    page.width = format.print_width > 0 ? format.print_width : DotsFor(kDefaultWidthMm, dpmm);
    page.height = format.label_length > 0 ? format.label_length : DotsFor(kDefaultHeightMm, dpmm);
  }
  const int max_side = options.max_side_dots;
  if (page.width > max_side || page.height > max_side) {
    warnings.push_back("label of " + std::to_string(page.width) + " x " +
                       std::to_string(page.height) + " dots cut to " + std::to_string(max_side) +
                       " dots a side");
  }
  page.width = std::clamp(page.width, 1, max_side);
  page.height = std::clamp(page.height, 1, max_side);
  if (page.print_width <= 0 || page.print_left + page.print_width > page.width) {
    page.print_left = 0;
    page.print_width = page.width;
  }
  return page;
}

}  // namespace

std::optional<MediaSize> ParseMediaSize(std::string text) {
  double unit = 25.4;
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "mm") == 0) {
    unit = 1;
    text.resize(text.size() - 2);
  }
  const size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double w = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + x) return std::nullopt;
  const double h = std::strtod(text.c_str() + x + 1, &end);
  if (*end != '\0' || !(w > 0) || !(h > 0) || w * unit > 2000 || h * unit > 2000) {
    return std::nullopt;
  }
  return MediaSize{w * unit, h * unit};
}

LabelRenderer::LabelRenderer(RenderOptions options)
    : options_(options),
      text_(std::make_unique<LabelText>()),
      memory_(std::make_unique<PrinterMemory>()) {
  options_.dots_per_mm = std::clamp(options_.dots_per_mm, 1, 48);
  options_.max_side_dots = std::clamp(options_.max_side_dots, 16, 32000);
}

LabelRenderer::~LabelRenderer() = default;

void LabelRenderer::storeGraphic(const ZplCommand& download, bool aborted,
                                 RenderedDocument& result) {
  // ~DGd:o.x,t,w,data: the data may itself hold commas.
  const std::vector<std::string> p = SplitParams(download.params, 4);
  const std::string name = PrinterMemory::ObjectName(p[0], "GRF");
  const size_t max_bytes =
      static_cast<size_t>(options_.max_side_dots) * static_cast<size_t>(options_.max_side_dots) / 8;
  std::string error;
  std::optional<Bitmap> graphic =
      DecodeGraphicField(static_cast<size_t>(ParamInt(p, 1, 0, 0, 1 << 30)),
                         static_cast<size_t>(ParamInt(p, 2, 0, 0, 1 << 30)),
                         p.size() == 4 ? p[3] : "", false, max_bytes, error);
  if (!graphic) {
    result.warnings.push_back("~DG " + name + " not stored: " + error);
    return;
  }
  if (aborted && !graphic->complete) {
    result.warnings.push_back("~DG " + name + " aborted by ~DN: not stored");
    return;
  }
  if (!graphic->complete) result.warnings.push_back("~DG " + name + " data ends early");
  memory_->storeGraphic(name, std::move(*graphic));
  result.stored.push_back(name);
}

RenderedDocument LabelRenderer::render(std::string_view document) {
  RenderedDocument result;
  const std::vector<ZplCommand> commands = ParseZplCommands(document);
  FormatState format;
  std::optional<LabelCanvas> retained;  // the last label's picture after ^MCN
  std::vector<const ZplCommand*> label;
  bool in_label = false;
  size_t outside = 0;
  auto finish = [&] {
    // ^DF: the rest of the label is a format to store, not to print.
    for (size_t k = 0; k < label.size(); ++k) {
      if (label[k]->control || label[k]->code != "DF") continue;
      std::vector<ZplCommand> stored;
      for (size_t j = k + 1; j < label.size(); ++j) {
        if (label[j]->control || label[j]->code != "XZ") stored.push_back(*label[j]);
      }
      const std::string name = PrinterMemory::ObjectName(label[k]->params, "ZPL");
      memory_->storeFormat(name, std::move(stored));
      result.stored.push_back(name);
      label.clear();
      return;
    }
    std::vector<std::string> warnings;
    const std::vector<const ZplCommand*> drawn = ExpandStoredFormats(label, *memory_, warnings);
    // The settings that size the picture hold wherever they stand in the label.
    for (const ZplCommand* c : drawn) {
      const LabelDrawing::CommandEntry* entry =
          c->control ? nullptr : LabelDrawing::FindCommand(c->code);
      if (entry && entry->setup) entry->setup(format, SplitParams(c->params));
    }
    const PageArea page = PageFor(options_, format, warnings);
    RenderedLabel rendered{LabelCanvas(page.width, page.height), LabelReport{}};
    rendered.picture.setPrintArea(page.print_left, page.print_width);
    if (retained) rendered.picture.drawCanvas(*retained);
    rendered.report.width_dots = page.width;
    rendered.report.height_dots = page.height;
    rendered.report.dots_per_mm = options_.dots_per_mm;
    rendered.report.warnings = std::move(warnings);
    LabelDrawing(options_, format, *memory_, *text_, rendered).run(drawn, &retained);
    result.labels.push_back(std::move(rendered));
    label.clear();
  };
  for (size_t i = 0; i < commands.size(); ++i) {
    const ZplCommand& c = commands[i];
    if (c.control && (c.code == "DG" || c.code == "DN")) {
      // Downloads take effect where they stand, inside a label or not; ~DN
      // right after a download that has not got all its data aborts it.
      if (c.code == "DG") {
        const bool aborted =
            i + 1 < commands.size() && commands[i + 1].control && commands[i + 1].code == "DN";
        storeGraphic(c, aborted, result);
      }
      if (in_label) label.push_back(&c);
    } else if (!c.control && c.code == "XA") {
      if (in_label) {
        result.warnings.push_back("^XA inside a label: the label before it ends there");
        finish();
      }
      in_label = true;
      label.push_back(&c);
    } else if (!c.control && c.code == "XZ") {
      if (in_label) {
        label.push_back(&c);
        finish();
        in_label = false;
      }
    } else if (in_label) {
      label.push_back(&c);
    } else {
      ++outside;
    }
  }
  if (in_label) {
    result.warnings.push_back("the last label has no ^XZ; drawn as it stands");
    finish();
  }
  if (outside > 0) {
    result.warnings.push_back(std::to_string(outside) + " command(s) outside ^XA ... ^XZ");
  }
  if (result.labels.empty() && result.stored.empty()) {
    result.warnings.push_back("no label (^XA ... ^XZ) in the document");
  }
  return result;
}

}  // namespace corvella::zpl
