#include "tools/zpl/label_renderer.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>

#include "tools/zpl/barcode_field.h"
#include "tools/zpl/graphic_field.h"
#include "tools/zpl/label_text.h"
#include "tools/zpl/printer_memory.h"
#include "tools/zpl/zpl_commands.h"

namespace corvella::zpl {
namespace {

// Longest field data a printer takes.
constexpr size_t kMaxFieldBytes = 3072;

// Settings that only a physical printer needs: accepted, nothing to draw.
const std::set<std::string> kPrinterSettings = {
    "DY", "EG", "FC", "FL", "FM", "HB", "HD", "HH", "HI", "HM", "HQ", "HS", "HZ", "ID", "IL", "IS",
    "JA", "JB", "JC", "JD", "JE", "JG", "JI", "JJ", "JL", "JM", "JN", "JO", "JP", "JR", "JS", "JT",
    "JU", "JW", "JZ", "KD", "KL", "KN", "KP", "KV", "LT", "MD", "MF", "MI", "ML", "MM", "MN", "MP",
    "MT", "MU", "MW", "NC", "NI", "NN", "NP", "NT", "PA", "PF", "PH", "PM", "PP", "PQ", "PR", "PS",
    "RB", "RF", "RS", "RT", "RW", "RZ", "SC", "SD", "SE", "SF", "SL", "SN", "SO", "SP", "SQ", "SR",
    "SS", "ST", "SX", "SZ", "TA", "TO", "WA", "WD", "WL", "WR", "XB", "CD", "CM", "CO", "CV", "CW",
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
  bool inverted = false;       // ^PO
  bool label_reverse = false;  // ^LR
  int code_page = 0;           // ^CI
  FontChoice default_font = ResolveFont('A', 0, 0);
  char default_font_name = 'A';
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

// Decodes field bytes to UTF-8 by the document's code page; control
// characters are dropped.
std::string DecodeText(const std::string& bytes, int code_page) {
  const char* charset = "ibm-850";
  if (code_page == 27) charset = "windows-1252";
  if (code_page == 28) charset = "UTF-8";
  if (code_page == 29) charset = "UTF-16BE";
  if (code_page == 30) charset = "UTF-16LE";
  icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), charset);
  icu::UnicodeString shown;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    if (c >= 0x20 && c != 0x7f) shown.append(c);
    i += U16_LENGTH(c);
  }
  std::string utf8;
  shown.toUTF8String(utf8);
  return utf8;
}

// ^FH: the indicator followed by two hex digits stands for that byte.
std::string ExpandHexEscapes(const std::string& data, char indicator) {
  std::string out;
  out.reserve(data.size());
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == indicator && i + 2 < data.size() && hex(data[i + 1]) >= 0 &&
        hex(data[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(data[i + 1]) * 16 + hex(data[i + 2])));
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

// The Unicode text of ^GS letters: registered trademark, copyright,
// trademark, and the UL and CSA marks (drawn as their letters in a ring).
std::string GraphicSymbolText(char letter) {
  switch (letter) {
    case 'A':
      return "\u00ae";
    case 'B':
      return "\u00a9";
    case 'C':
      return "\u2122";
    case 'D':
      return "UL";
    case 'E':
      return "SP";
  }
  return "";
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
  void drawn(const ZplCommand& c) { ++label_.report.drawn[Name(c)]; }
  static std::string Name(const ZplCommand& c) { return (c.control ? "~" : "^") + c.code; }

  Ink ink() const { return field_.reverse != format_.label_reverse ? Ink::kReverse : Ink::kBlack; }

  Placement placement(Orientation orientation) const {
    Placement p = field_.placement;
    p.orientation = orientation;
    return p;
  }

  void apply(const ZplCommand& c) {
    const std::vector<std::string> p = SplitParams(c.params);
    const std::string& code = c.code;
    if (code == "FO" || code == "FT") {
      if (field_.data || field_.barcode) finishField();
      field_.placed = true;
      field_.placement.typeset = code == "FT";
      // ^FT without coordinates goes on where the last text ended.
      const bool continues = code == "FT" && (p.size() < 2 || (p[0].empty() && p[1].empty()));
      if (!continues) {
        field_.placement.x = format_.home_x - format_.shift + ParamInt(p, 0, 0, 0, 32000);
        field_.placement.y = format_.home_y + ParamInt(p, 1, 0, 0, 32000);
      }
      // Third parameter: 0 left, 1 right, 2 as the script runs (left here).
      const int justification = ParamInt(p, 2, format_.default_right_justified ? 1 : 0, 0, 2);
      field_.placement.right_justified = justification == 1;
    } else if (code == "FD" || code == "FV") {
      std::string data = c.params;
      if (data.size() > kMaxFieldBytes) {
        warn(Name(c) + " data longer than " + std::to_string(kMaxFieldBytes) + " bytes cut");
        data.resize(kMaxFieldBytes);
      }
      field_.data = std::move(data);
    } else if (code == "FS") {
      finishField();
    } else if (code == "FH") {
      field_.hex_indicator = c.params.empty() ? '_' : c.params[0];
    } else if (code == "FR") {
      field_.reverse = true;
    } else if (code == "FB") {
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
    } else if (code == "FX" || code == "CC" || code == "CT") {
      // A comment, or a prefix change the parser has made.
    } else if (code == "A") {
      // ^Afo,h,w: the font name is the first character of the parameters;
      // ^A@o,h,w,d:o.x names a font file.
      char name = c.params.empty() ? '0' : AsciiUpper(c.params[0]);
      std::vector<std::string> rest = SplitParams(c.params.size() > 1 ? c.params.substr(1) : "");
      if (name == '@') {
        if (rest.size() > 3 && !rest[3].empty()) {
          format_.font_by_name = PrinterMemory::ObjectName(rest[3], "FNT");
        }
        const std::optional<char> font = FontOfName(format_.font_by_name);
        if (!font)
          warn("^A@ font " + format_.font_by_name + " is not in the printer: font 0 drawn");
        name = font.value_or('0');
      }
      if (auto o = ParseOrientation(ParamLetter(rest, 0, 'X'))) field_.orientation = *o;
      field_.font =
          ResolveFont(name, ParamInt(rest, 1, 0, 0, 32000), ParamInt(rest, 2, 0, 0, 32000));
    } else if (code == "CF") {
      const char name = ParamLetter(p, 0, format_.default_font_name);
      format_.default_font_name = name;
      format_.default_font =
          ResolveFont(name, ParamInt(p, 1, 0, 0, 32000), ParamInt(p, 2, 0, 0, 32000));
    } else if (code == "FW") {
      if (auto o = ParseOrientation(ParamLetter(p, 0, 'N'))) format_.default_orientation = *o;
      if (p.size() > 1 && !p[1].empty())
        format_.default_right_justified = ParamInt(p, 1, 0, 0, 2) == 1;
    } else if (code == "CI") {
      format_.code_page = ParamInt(p, 0, 0, 0, 36);
      if (format_.code_page > 13 && format_.code_page != 27 && format_.code_page < 28) {
        warn("^CI" + std::to_string(format_.code_page) + " drawn as code page 850");
      }
    } else if (code == "LH") {
      format_.home_x = ParamInt(p, 0, 0, 0, 32000);
      format_.home_y = ParamInt(p, 1, 0, 0, 32000);
    } else if (code == "LS") {
      format_.shift = ParamInt(p, 0, 0, -9999, 9999);
    } else if (code == "LR") {
      format_.label_reverse = ParamYesNo(p, 0, false);
    } else if (code == "PO") {
      format_.inverted = ParamLetter(p, 0, 'N') == 'I';
    } else if (code == "PW" || code == "LL") {
      // Sized before drawing began.
    } else if (code == "BY") {
      format_.module_width = ParamInt(p, 0, format_.module_width, 1, 10);
      format_.ratio = ParamDouble(p, 1, format_.ratio, 2.0, 3.0);
      format_.bar_height = ParamInt(p, 2, format_.bar_height, 1, 32000);
    } else if (IsBarcodeCommand(code)) {
      PendingBarcode barcode{code, p, format_.default_orientation};
      if (code != "BD") {
        if (auto o = ParseOrientation(ParamLetter(p, 0, 'X'))) barcode.orientation = *o;
      }
      field_.barcode = std::move(barcode);
    } else if (code == "GB") {
      graphicBox(p);
    } else if (code == "GC") {
      const int d = ParamInt(p, 0, 3, 3, 4095);
      graphicEllipse(d, d, ParamInt(p, 1, 1, 1, 4095), ParamLetter(p, 2, 'B'));
    } else if (code == "GE") {
      graphicEllipse(ParamInt(p, 0, 3, 3, 4095), ParamInt(p, 1, 3, 3, 4095),
                     ParamInt(p, 2, 1, 1, 4095), ParamLetter(p, 3, 'B'));
    } else if (code == "GD") {
      graphicDiagonal(p);
    } else if (code == "GF") {
      graphicField(c.params);
    } else if (code == "GS") {
      GraphicSymbol symbol{format_.default_orientation, ParamInt(p, 1, 0, 0, 32000),
                           ParamInt(p, 2, 0, 0, 32000)};
      if (auto o = ParseOrientation(ParamLetter(p, 0, 'X'))) symbol.orientation = *o;
      field_.symbol = symbol;
    } else if (code == "XG" || code == "IM") {
      storedGraphic(code, p);
    } else if (code == "MC") {
      map_clear_ = ParamYesNo(p, 0, true);
    } else if (code == "DF" || code == "XF" || code == "FN" || code == "DG" || code == "DN") {
      // Stored formats and graphics, taken care of before the label is drawn.
    } else if (kPrinterSettings.count(code) || code == "XA" || code == "XZ") {
      ++label_.report.ignored[Name(c)];
      return;
    } else {
      ++label_.report.skipped[Name(c)];
      return;
    }
    drawn(c);
  }

  Ink colorInk(char color) const {
    if (color == 'W') return field_.reverse || format_.label_reverse ? Ink::kReverse : Ink::kWhite;
    return ink();
  }

  void graphicBox(const std::vector<std::string>& p) {
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
    auto ellipse = [](cairo_t* cr, double cx, double cy, double rx, double ry) {
      if (rx <= 0 || ry <= 0) return;
      cairo_save(cr);
      cairo_translate(cr, cx, cy);
      cairo_scale(cr, rx, ry);
      cairo_new_sub_path(cr);
      cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
      cairo_restore(cr);
    };
    label_.picture.fill(matrix, colorInk(color), [&](cairo_t* cr) {
      ellipse(cr, w / 2.0, h / 2.0, w / 2.0, h / 2.0);
      ellipse(cr, w / 2.0, h / 2.0, w / 2.0 - t, h / 2.0 - t);
    });
  }

  void graphicDiagonal(const std::vector<std::string>& p) {
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

  void graphicField(const std::string& params) {
    // ^GFa,b,c,d,data: the data may itself hold commas.
    const std::vector<std::string> p = SplitParams(params, 5);
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
                                     format == 'B', max_bytes, &error);
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
  void storedGraphic(const std::string& code, const std::vector<std::string>& p) {
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
      drawText(DecodeText(fieldBytes(), format_.code_page));
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
    }
    const LabelText::Layout& layout = text_.layOut(shown, font, block);
    if (layout.truncated) warn("^FB text has more lines than the block allows");
    Placement at = placement(orientation);
    at.anchor_v = block ? layout.last_baseline : layout.baseline;
    label_.picture.draw(LabelCanvas::FieldMatrix(at, layout.width, layout.height), ink(),
                        [&](cairo_t* cr) { text_.draw(cr); });
    // Where a following ^FT without coordinates goes on.
    const cairo_matrix_t m = LabelCanvas::FieldMatrix(at, layout.width, layout.height);
    double end_x = layout.width, end_y = at.anchor_v;
    cairo_matrix_transform_point(&m, &end_x, &end_y);
    field_.placement.x = end_x;
    field_.placement.y = end_y;
  }

  // ^GS: each letter of the data one symbol, side by side, in a cell of
  // the given size (the scalable font's when none is given).
  void drawGraphicSymbols(const GraphicSymbol& symbol, const std::string& letters) {
    const FontChoice base = field_.font.value_or(format_.default_font);
    const FontChoice font = ResolveFont('0', symbol.height > 0 ? symbol.height : base.height,
                                        symbol.width > 0    ? symbol.width
                                        : symbol.height > 0 ? symbol.height
                                                            : base.width);
    std::string text;
    for (char letter : letters) {
      const std::string shown = GraphicSymbolText(AsciiUpper(letter));
      if (shown.empty()) continue;
      text += shown;
    }
    if (text.empty()) {
      warn("^GS data '" + letters + "' has no symbol letter (A to E)");
      return;
    }
    const LabelText::Layout& layout = text_.layOut(text, font, nullptr);
    Placement at = placement(symbol.orientation);
    at.anchor_v = layout.baseline;
    const cairo_matrix_t matrix = LabelCanvas::FieldMatrix(at, layout.width, layout.height);
    label_.picture.draw(matrix, ink(), [&](cairo_t* cr) { text_.draw(cr); });
    const bool ring = text.find("UL") != std::string::npos || text.find("SP") != std::string::npos;
    if (ring) {
      label_.picture.fill(matrix, ink(), [&](cairo_t* cr) {
        const double rx = layout.width / 2 + 2, ry = layout.height / 2;
        const double t = std::max(1.0, font.height / 12.0);
        for (double r : {0.0, t}) {
          cairo_save(cr);
          cairo_translate(cr, layout.width / 2, layout.height / 2);
          cairo_scale(cr, rx - r, ry - r);
          cairo_new_sub_path(cr);
          cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
          cairo_restore(cr);
        }
      });
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
    // The interpretation line grows with the bars.
    const FontChoice line_font = ResolveFont('0', 8 * module + 6, 0);
    const bool interpretation =
        linear && (field->line_below || field->line_above) && !modules.readable.empty();
    const int text_height = interpretation ? line_font.height + 4 : 0;
    const int bars_top = interpretation && field->line_above ? text_height : 0;
    Placement at = placement(orientation);
    at.anchor_v = bars_top + height;  // ^FT: the bottom left of the bars
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
      const double y = field->line_above ? 0 : height + 4;
      label_.picture.draw(matrix, ink(), [&](cairo_t* cr) {
        cairo_translate(cr, x, y);
        text_.draw(cr);
      });
    }
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
  bool map_clear_ = true;  // ^MC
};

// Dots for a length in millimetres: a printer rounds up (4 inches at 8
// dots/mm are 812.8 dots, 813 on the printer); a hair's float error above a
// whole number is not a dot more.
int DotsFor(double mm, int dots_per_mm) {
  return static_cast<int>(std::ceil(mm * dots_per_mm - 1e-6));
}

}  // namespace

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
                         p.size() == 4 ? p[3] : "", false, max_bytes, &error);
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
    // The size comes from the label's own ^PW / ^LL wherever they stand.
    for (const ZplCommand* c : drawn) {
      if (c->control) continue;
      const std::vector<std::string> p = SplitParams(c->params);
      if (c->code == "PW") format.print_width = ParamInt(p, 0, format.print_width, 2, 32000);
      if (c->code == "LL") format.label_length = ParamInt(p, 0, format.label_length, 1, 32000);
    }
    const int max_side = options_.max_side_dots;
    int width = format.print_width > 0 ? format.print_width
                                       : DotsFor(options_.default_width_mm, options_.dots_per_mm);
    int height = format.label_length > 0
                     ? format.label_length
                     : DotsFor(options_.default_height_mm, options_.dots_per_mm);
    if (width > max_side || height > max_side) {
      warnings.push_back("label of " + std::to_string(width) + " x " + std::to_string(height) +
                         " dots cut to " + std::to_string(max_side) + " dots a side");
    }
    width = std::clamp(width, 1, max_side);
    height = std::clamp(height, 1, max_side);
    RenderedLabel rendered{LabelCanvas(width, height), LabelReport{}};
    if (retained) rendered.picture.drawCanvas(*retained);
    rendered.report.width_dots = width;
    rendered.report.height_dots = height;
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
