#pragma once

#include <optional>
#include <string>

#include "zpl/barcodes/barcode_params.h"
#include "zpl/commands/command_params.h"
#include "zpl/commands/label_format.h"
#include "zpl/drawing/label_canvas.h"
#include "zpl/text/label_text.h"

namespace corvella::zpl {

class PrinterMemory;
struct RenderOptions;
struct RenderedLabel;

// A barcode command waiting for its field's data.
struct PendingBarcode {
  std::string code;  // BC, B3, ...
  BarcodeParams params;
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

// One label being drawn: what each command reads and changes. The commands
// live in the files of their kind (field_commands, format_commands,
// graphic_commands, barcode_commands); drawing a finished field is in
// field_drawing.
struct LabelState {
  const RenderOptions& options;
  LabelFormat& format;
  const PrinterMemory& memory;
  LabelText& text;
  RenderedLabel& label;
  FieldState field;
  bool map_clear = true;      // ^MC
  std::string unknown_fonts;  // font names warned of in this label

  // A warning in the label's report (at most 100 of them).
  void warn(std::string message);

  Ink ink() const { return field.reverse != format.label_reverse ? Ink::kReverse : Ink::kBlack; }
  // ^GB, ^GC, ^GE, ^GD colour W: white, or flipping under a reverse.
  Ink colorInk(char color) const {
    if (color == 'W') return field.reverse || format.label_reverse ? Ink::kReverse : Ink::kWhite;
    return ink();
  }
  Placement placement(Orientation orientation) const {
    Placement p = field.placement;
    p.orientation = orientation;
    return p;
  }
  bool fieldPending() const { return field.data || field.barcode; }

  // ^FS: draws the field. The pen stays where the field left it, for a
  // following ^FT without coordinates.
  void finishField();
};

}  // namespace corvella::zpl
