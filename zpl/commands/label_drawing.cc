#include "zpl/commands/label_drawing.h"

#include <glib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "zpl/barcodes/barcode_drawing.h"
#include "zpl/barcodes/barcode_field.h"
#include "zpl/document/graphic_field.h"
#include "zpl/document/label_renderer.h"
#include "zpl/document/printer_memory.h"
#include "zpl/document/zpl_commands.h"
#include "zpl/drawing/graphic_symbols.h"
#include "zpl/drawing/shape_drawing.h"
#include "zpl/text/label_text.h"
#include "zpl/text/text_field.h"

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

// The ^GS cell when neither the command nor ^CF gives a height.
constexpr int kSymbolCell = 24;

using Params = std::vector<std::string>;

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

Justification ParseJustification(char c) {
  switch (c) {
    case 'C':
      return Justification::kCenter;
    case 'R':
      return Justification::kRight;
    case 'J':
      return Justification::kJustified;
  }
  return Justification::kLeft;
}

// ^FH: the indicator followed by two hex digits stands for that byte.
std::string ExpandHexEscapes(const std::string& data, char indicator) {
  std::string out;
  out.reserve(data.size());
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == indicator && i + 2 < data.size() && g_ascii_xdigit_value(data[i + 1]) >= 0 &&
        g_ascii_xdigit_value(data[i + 2]) >= 0) {
      out.push_back(static_cast<char>(g_ascii_xdigit_value(data[i + 1]) * 16 +
                                      g_ascii_xdigit_value(data[i + 2])));
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
  if (stem.size() == 1 && g_ascii_isalnum(stem[0])) return stem[0];
  if (stem == "TT0003M_") return '0';
  return std::nullopt;
}

std::string Name(const ZplCommand& c) { return (c.control ? "~" : "^") + c.code; }

// ^MN: N is continuous media; Y, W (web) and M (mark) are labels of the
// media's own length, whatever ^LL says.
void MediaTracking(LabelFormat& format, const Params& p) {
  const char tracking = ParamLetter(p, 0, format.continuous ? 'N' : 'Y');
  format.continuous = tracking == 'N';
}

void PrintWidth(LabelFormat& format, const Params& p) {
  format.print_width = ParamInt(p, 0, format.print_width, 2, 32000);
}

void LabelLength(LabelFormat& format, const Params& p) {
  format.label_length = ParamInt(p, 0, format.label_length, 1, 32000);
}

struct PendingBarcode {
  std::string code;  // BC, B3, ...
  Params params;
  Orientation orientation = Orientation::kNormal;
};

// ^GS: symbols drawn from the field data's letters.
struct PendingSymbol {
  Orientation orientation = Orientation::kNormal;
  int height = 0;
  int width = 0;
};

// The field being built between its origin and ^FS.
struct FieldState {
  Placement placement;
  std::optional<FontChoice> font;
  std::optional<Orientation> orientation;
  std::optional<TextBlock> block;
  bool reverse = false;
  std::optional<char> hex_indicator;
  std::optional<PendingBarcode> barcode;
  std::optional<PendingSymbol> symbol;
  std::optional<std::string> data;
};

// One label being drawn: the field under construction and one handler per
// command, each drawing through the room of its kind (text, shapes, marks,
// barcodes).
class LabelDrawing {
 public:
  LabelDrawing(const RenderOptions& options, LabelFormat& format, const PrinterMemory& memory,
               LabelText& text, RenderedLabel& label)
      : options_(options), format_(format), memory_(memory), text_(text), label_(label) {}

  void run(const std::vector<const ZplCommand*>& commands, std::optional<LabelCanvas>& retained) {
    for (const ZplCommand* command : commands) apply(*command);
    if (field_.data || field_.barcode) finishField();
    if (!map_clear_) {
      LabelCanvas kept(label_.picture.width(), label_.picture.height());
      kept.drawCanvas(label_.picture);
      retained = std::move(kept);
    } else {
      retained.reset();
    }
    if (format_.inverted) label_.picture.invert();
  }

  // What a command does: `draw` while the label is drawn, `setup` to the
  // settings that size the picture, before drawing begins. A command with
  // neither is accepted and has nothing to do (a comment, or something
  // taken care of before the label is drawn); an `ignored` one is a setting
  // only a physical printer needs.
  struct CommandEntry {
    void (LabelDrawing::*draw)(const ZplCommand&, const Params&) = nullptr;
    void (*setup)(LabelFormat&, const Params&) = nullptr;
    bool ignored = false;
  };
  static const CommandEntry* FindCommand(const std::string& code);

 private:
  void warn(std::string message) {
    if (label_.report.warnings.size() < 100) label_.report.warnings.push_back(std::move(message));
  }

  Ink ink() const { return field_.reverse != format_.label_reverse ? Ink::kReverse : Ink::kBlack; }

  // ^GB, ^GC, ^GE, ^GD colour W: white, or flipping under a reverse.
  Ink colorInk(char color) const {
    if (color == 'W') return field_.reverse || format_.label_reverse ? Ink::kReverse : Ink::kWhite;
    return ink();
  }

  Placement placement(Orientation orientation) const {
    Placement p = field_.placement;
    p.orientation = orientation;
    return p;
  }

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

  // ^FO and ^FT. ^FT without coordinates goes on where the last field left
  // the pen.
  void fieldOrigin(const ZplCommand& c, const Params& p) {
    if (field_.data || field_.barcode) finishField();
    field_.placement.typeset = c.code == "FT";
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
    block.justification = ParseJustification(ParamLetter(p, 3, 'L'));
    block.indent = ParamInt(p, 4, 0, 0, 9999);
    field_.block = block;
  }

  // ^Afo,h,w: the font name is the first character of the parameters;
  // ^A@o,h,w,d:o.x names a font file. Without a size, ^CF's.
  void fieldFont(const ZplCommand& c, const Params&) {
    const char name = c.params.empty() ? '0' : g_ascii_toupper(c.params[0]);
    const Params rest = SplitParams(c.params.size() > 1 ? c.params.substr(1) : "");
    if (auto o = ParseOrientation(ParamLetter(rest, 0, 'X'))) field_.orientation = *o;
    int height = ParamInt(rest, 1, 0, 0, 32000), width = ParamInt(rest, 2, 0, 0, 32000);
    if (height == 0 && width == 0) {
      height = format_.default_height;
      width = format_.default_width;
    }
    field_.font = ResolveFont(name == '@' ? fontByName(rest) : printerFont(name), height, width);
  }

  // The font ^A@ names (or the one it named last): font 0 when the printer
  // has no such font.
  char fontByName(const Params& rest) {
    if (rest.size() > 3 && !rest[3].empty()) {
      format_.font_by_name = PrinterMemory::ObjectName(rest[3], "FNT");
    }
    const std::optional<char> font = FontOfName(format_.font_by_name);
    if (!font) warn("^A@ font " + format_.font_by_name + " is not in the printer: font 0 drawn");
    return printerFont(font.value_or('0'));
  }

  // A printer draws a font it does not have in its default font (^CF).
  char printerFont(char name) {
    if (IsPrinterFont(name)) return name;
    if (unknown_fonts_.find(name) == std::string::npos) {
      unknown_fonts_ += name;
      warn(std::string("^A font ") + name + " is not in the printer: font " +
           format_.default_font_name + " drawn");
    }
    return format_.default_font_name;
  }

  // ^CFf,h,w: what it leaves out stays as it was.
  void defaultFont(const ZplCommand&, const Params& p) {
    const char name = ParamLetter(p, 0, format_.default_font_name);
    if (IsPrinterFont(name)) {
      format_.default_font_name = name;
    } else {
      warn(std::string("^CF font ") + name + " is not in the printer: font " +
           format_.default_font_name + " stays the default");
    }
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

  void mapClear(const ZplCommand&, const Params& p) { map_clear_ = ParamYesNo(p, 0, true); }

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

  void graphicBox(const ZplCommand&, const Params& p) {
    const int t = ParamInt(p, 2, 1, 1, 32000);
    const int w = std::max(ParamInt(p, 0, t, 1, 32000), t);
    const int h = std::max(ParamInt(p, 1, t, 1, 32000), t);
    const double radius = ParamInt(p, 4, 0, 0, 8) * std::min(w, h) / 16.0;
    DrawBox(label_.picture, field_.placement, colorInk(ParamLetter(p, 3, 'B')), w, h, t, radius);
  }

  void graphicCircle(const ZplCommand&, const Params& p) {
    const int d = ParamInt(p, 0, 3, 3, 4095);
    DrawEllipse(label_.picture, field_.placement, colorInk(ParamLetter(p, 2, 'B')), d, d,
                ParamInt(p, 1, 1, 1, 4095));
  }

  void graphicEllipse(const ZplCommand&, const Params& p) {
    DrawEllipse(label_.picture, field_.placement, colorInk(ParamLetter(p, 3, 'B')),
                ParamInt(p, 0, 3, 3, 4095), ParamInt(p, 1, 3, 3, 4095), ParamInt(p, 2, 1, 1, 4095));
  }

  void graphicDiagonal(const ZplCommand&, const Params& p) {
    const int t = ParamInt(p, 2, 1, 1, 32000);
    const int w = std::max(ParamInt(p, 0, t, 3, 32000), t);
    const int h = std::max(ParamInt(p, 1, t, 3, 32000), t);
    // '/' unless the orientation is L ('\').
    DrawDiagonal(label_.picture, field_.placement, colorInk(ParamLetter(p, 3, 'B')), w, h, t,
                 ParamLetter(p, 4, 'R') != 'L');
  }

  void graphicSymbol(const ZplCommand&, const Params& p) {
    PendingSymbol symbol{format_.default_orientation, ParamInt(p, 1, 0, 0, 32000),
                         ParamInt(p, 2, 0, 0, 32000)};
    if (auto o = ParseOrientation(ParamLetter(p, 0, 'X'))) symbol.orientation = *o;
    field_.symbol = symbol;
  }

  // ^GFa,b,c,d,data: the data may itself hold commas.
  void graphicField(const ZplCommand& c, const Params&) {
    const Params p = SplitParams(c.params, 5);
    const char format = ParamLetter(p, 0, 'A');
    if (format != 'A' && format != 'B') {
      warn(std::string("^GF compressed binary format '") + format + "' not drawn");
      return;
    }
    const size_t max_bytes = static_cast<size_t>(label_.report.width_dots) *
                                 static_cast<size_t>(label_.report.height_dots) / 8 +
                             1024;
    std::string error;
    auto bitmap = DecodeGraphicField(static_cast<size_t>(ParamInt(p, 2, 0, 0, 1 << 30)),
                                     static_cast<size_t>(ParamInt(p, 3, 0, 0, 1 << 30)),
                                     p.size() == 5 ? p[4] : "", format == 'B', max_bytes, error);
    if (!bitmap) {
      warn("^GF " + error);
      return;
    }
    drawGraphic(*bitmap, 1, 1);
  }

  // ^XGd:o.x,mx,my and ^IMd:o.x: a graphic stored by ~DG, magnified by ^XG.
  void storedGraphic(const ZplCommand& c, const Params& p) {
    const std::string name = PrinterMemory::ObjectName(p.empty() ? "" : p[0], "GRF");
    const Bitmap* graphic = memory_.graphic(name);
    if (!graphic) {
      warn("^" + c.code + " " + name + " is not stored in the printer");
      return;
    }
    const bool magnified = c.code == "XG";
    drawGraphic(*graphic, magnified ? ParamInt(p, 1, 1, 1, 10) : 1,
                magnified ? ParamInt(p, 2, 1, 1, 10) : 1);
  }

  // A picture at the field origin (^FT: by its bottom left corner).
  void drawGraphic(const Bitmap& bitmap, int scale_x, int scale_y) {
    Placement at = placement(Orientation::kNormal);
    const double w = bitmap.width * scale_x, h = bitmap.height * scale_y;
    at.anchor_v = h;
    label_.picture.drawBitmap(LabelCanvas::FieldMatrix(at, w, h), ink(), bitmap, scale_x, scale_y);
  }

  std::string fieldBytes() const {
    std::string data = field_.data.value_or("");
    if (field_.hex_indicator) data = ExpandHexEscapes(data, *field_.hex_indicator);
    return data;
  }

  // ^FS: draws the field. The pen stays where the field left it, for a
  // following ^FT without coordinates.
  void finishField() {
    if (field_.barcode) {
      drawBarcode(*field_.barcode, fieldBytes());
    } else if (field_.symbol && field_.data) {
      drawSymbols(*field_.symbol, fieldBytes());
    } else if (field_.data) {
      drawText(format_.code_page.decode(fieldBytes()));
    }
    const Placement kept = field_.placement;
    field_ = FieldState{};
    field_.placement = kept;
  }

  void drawText(const std::string& text) {
    const FontChoice font = field_.font.value_or(format_.default_font);
    const Orientation orientation = field_.orientation.value_or(format_.default_orientation);
    const TextBlock* block = field_.block ? &*field_.block : nullptr;
    const TextFieldResult drawn =
        DrawTextField(label_.picture, text_, placement(orientation), ink(), text, font, block);
    if (drawn.truncated) warn("^FB text has more lines than the block allows");
    movePen(drawn.pen);
  }

  // ^GS in the height it asks, else ^CF's, else the symbols' own cell.
  void drawSymbols(const PendingSymbol& symbol, const std::string& letters) {
    const int asked = field_.font ? field_.font->height : format_.default_height;
    const double h = symbol.height > 0 ? symbol.height : asked > 0 ? asked : kSymbolCell;
    const double w = symbol.width > 0 ? symbol.width : h;
    const std::optional<Point> pen = DrawGraphicSymbols(
        label_.picture, text_, placement(symbol.orientation), ink(), letters, h, w);
    if (!pen) {
      warn("^GS data '" + letters + "' has no symbol letter (A to E)");
      return;
    }
    movePen(*pen);
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
    Placement at = placement(barcode.orientation);
    // A printer draws a QR code placed by its top left corner (^FO) lower
    // by the bar height ^BY last set; placed by ^FT, where it is asked.
    if (barcode.code == "BQ" && !at.typeset) at.y += format_.bar_height;
    DrawBarcode(label_.picture, text_, at, ink(), *field, options_.dots_per_mm);
  }

  void movePen(Point pen) {
    field_.placement.x = pen.x;
    field_.placement.y = pen.y;
  }

  const RenderOptions& options_;
  LabelFormat& format_;
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
        {"PW", {nullptr, &PrintWidth}},
        {"LL", {nullptr, &LabelLength}},
        {"MN", {nullptr, &MediaTracking}},
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

}  // namespace

void SetUpLabel(LabelFormat& format, const std::vector<const ZplCommand*>& commands) {
  for (const ZplCommand* c : commands) {
    const LabelDrawing::CommandEntry* entry =
        c->control ? nullptr : LabelDrawing::FindCommand(c->code);
    if (entry && entry->setup) entry->setup(format, SplitParams(c->params));
  }
}

void DrawLabel(const RenderOptions& options, LabelFormat& format, const PrinterMemory& memory,
               LabelText& text, const std::vector<const ZplCommand*>& commands,
               RenderedLabel& label, std::optional<LabelCanvas>& retained) {
  LabelDrawing(options, format, memory, text, label).run(commands, retained);
}

}  // namespace corvella::zpl
