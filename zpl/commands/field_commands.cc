// The commands that build a field, and the settings its font and code page
// come from.
#include <glib.h>

#include <optional>
#include <string>

#include "zpl/commands/command_handlers.h"
#include "zpl/document/printer_memory.h"

namespace corvella::zpl {
namespace {

// Longest field data a printer takes.
constexpr size_t kMaxFieldBytes = 3072;

std::string Name(const ZplCommand& c) { return (c.control ? "~" : "^") + c.code; }

Justification JustificationOf(char c) {
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

// A printer draws a font it does not have in its default font (^CF).
char PrinterFont(LabelState& s, char name) {
  if (IsPrinterFont(name)) return name;
  if (s.unknown_fonts.find(name) == std::string::npos) {
    s.unknown_fonts += name;
    s.warn(std::string("^A font ") + name + " is not in the printer: font " +
           s.format.default_font_name + " drawn");
  }
  return s.format.default_font_name;
}

// The font ^A@ names (or the one it named last): font 0 when the printer
// has no such font.
char FontByName(LabelState& s, const std::string& file) {
  if (!file.empty()) s.format.font_by_name = PrinterMemory::objectName(file, "FNT");
  const std::optional<char> font = FontOfName(s.format.font_by_name);
  if (!font) s.warn("^A@ font " + s.format.font_by_name + " is not in the printer: font 0 drawn");
  return PrinterFont(s, font.value_or('0'));
}

}  // namespace

// ^FO and ^FT. ^FT without coordinates goes on where the last field left
// the pen.
void FieldOrigin(LabelState& s, const ZplCommand& c, const Params& p) {
  struct Origin {
    int x = 0, y = 0;
    int justification = 0;  // 0 left, 1 right, 2 as the script runs (left here)
  };
  const Origin o =
      ReadParams(p, Origin{0, 0, s.format.default_right_justified ? 1 : 0}, P(&Origin::x, 0, 32000),
                 P(&Origin::y, 0, 32000), P(&Origin::justification, 0, 2));
  if (s.fieldPending()) s.finishField();
  s.field.placement.typeset = c.code == "FT";
  const bool continues = c.code == "FT" && (p.size() < 2 || (p[0].empty() && p[1].empty()));
  if (!continues) {
    s.field.placement.x = s.format.home_x - s.format.shift + o.x;
    s.field.placement.y = s.format.home_y + o.y;
  }
  s.field.placement.right_justified = o.justification == 1;
}

void FieldData(LabelState& s, const ZplCommand& c, const Params&) {
  std::string data = c.params;
  if (data.size() > kMaxFieldBytes) {
    s.warn(Name(c) + " data longer than " + std::to_string(kMaxFieldBytes) + " bytes cut");
    data.resize(kMaxFieldBytes);
  }
  s.field.data = std::move(data);
}

void FieldSeparator(LabelState& s, const ZplCommand&, const Params&) { s.finishField(); }

void FieldHex(LabelState& s, const ZplCommand& c, const Params&) {
  s.field.hex_indicator = c.params.empty() ? '_' : c.params[0];
}

void FieldReverse(LabelState& s, const ZplCommand&, const Params&) { s.field.reverse = true; }

void FieldBlock(LabelState& s, const ZplCommand&, const Params& p) {
  struct Block {
    int width = 0, max_lines = 1, spacing = 0;
    char justification = 'L';
    int indent = 0;
  };
  const Block b = ReadParams(p, Block{}, P(&Block::width, 0, 32000), P(&Block::max_lines, 1, 999),
                             P(&Block::spacing, -9999, 9999), P(&Block::justification),
                             P(&Block::indent, 0, 9999));
  s.field.block =
      TextBlock{b.width, b.max_lines, b.spacing, JustificationOf(b.justification), b.indent};
}

// ^Afo,h,w: the font name is the first character of the parameters;
// ^A@o,h,w,d:o.x names a font file. Without a size, ^CF's.
void FieldFont(LabelState& s, const ZplCommand& c, const Params&) {
  struct Font {
    std::optional<Orientation> orientation;
    int height = 0, width = 0;
    std::string file;
  };
  const char name = c.params.empty() ? '0' : g_ascii_toupper(c.params[0]);
  Font f = ReadParams(SplitParams(c.params.size() > 1 ? c.params.substr(1) : ""), Font{},
                      P(&Font::orientation), P(&Font::height, 0, 32000), P(&Font::width, 0, 32000),
                      P(&Font::file));
  if (f.orientation) s.field.orientation = *f.orientation;
  if (f.height == 0 && f.width == 0) {
    f.height = s.format.default_height;
    f.width = s.format.default_width;
  }
  s.field.font =
      ResolveFont(name == '@' ? FontByName(s, f.file) : PrinterFont(s, name), f.height, f.width);
}

// ^CFf,h,w: what it leaves out stays as it was.
void DefaultFont(LabelState& s, const ZplCommand&, const Params& p) {
  struct Default {
    char name;
    int height, width;
  };
  LabelFormat& format = s.format;
  const Default d =
      ReadParams(p, Default{format.default_font_name, format.default_height, format.default_width},
                 P(&Default::name), P(&Default::height, 0, 32000), P(&Default::width, 0, 32000));
  if (IsPrinterFont(d.name)) {
    format.default_font_name = d.name;
  } else {
    s.warn(std::string("^CF font ") + d.name + " is not in the printer: font " +
           format.default_font_name + " stays the default");
  }
  format.default_height = d.height;
  format.default_width = d.width;
  format.default_font =
      ResolveFont(format.default_font_name, format.default_height, format.default_width);
}

// ^FWr,z: the orientation (N when not given) and justification of the
// fields after it.
void FieldDefaults(LabelState& s, const ZplCommand&, const Params& p) {
  struct Defaults {
    std::optional<Orientation> orientation = Orientation::kNormal;
    std::optional<int> justification;
  };
  const Defaults d =
      ReadParams(p, Defaults{}, P(&Defaults::orientation), P(&Defaults::justification, 0, 2));
  if (d.orientation) s.format.default_orientation = *d.orientation;
  if (d.justification) s.format.default_right_justified = *d.justification == 1;
}

// ^CIa,s1,d1,s2,d2,...: the number and any number of remapping pairs.
void SelectCodePage(LabelState& s, const ZplCommand&, const Params& p) {
  std::string warning;
  s.format.code_page.select(p, warning);
  if (!warning.empty()) s.warn(warning);
}

}  // namespace corvella::zpl
