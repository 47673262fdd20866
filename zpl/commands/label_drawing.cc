#include "zpl/commands/label_drawing.h"

#include <string>
#include <unordered_map>
#include <utility>

#include "zpl/commands/command_handlers.h"
#include "zpl/document/label_renderer.h"

namespace corvella::zpl {
namespace {

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

// What a command does: `draw` while the label is drawn, `setup` to the
// settings that size the picture, before drawing begins. A command with
// neither is accepted and has nothing to do (a comment, or something taken
// care of before the label is drawn); an `ignored` one is a setting only a
// physical printer needs.
struct CommandEntry {
  void (*draw)(LabelState&, const ZplCommand&, const Params&) = nullptr;
  void (*setup)(LabelFormat&, const Params&) = nullptr;
  bool ignored = false;
};

const CommandEntry* FindCommand(const std::string& code) {
  static const std::unordered_map<std::string, CommandEntry> kCommands = [] {
    std::unordered_map<std::string, CommandEntry> table = {
        {"FO", {&FieldOrigin}},
        {"FT", {&FieldOrigin}},
        {"FD", {&FieldData}},
        {"FV", {&FieldData}},
        {"FS", {&FieldSeparator}},
        {"FH", {&FieldHex}},
        {"FR", {&FieldReverse}},
        {"FB", {&FieldBlock}},
        {"A", {&FieldFont}},
        {"CF", {&DefaultFont}},
        {"FW", {&FieldDefaults}},
        {"CI", {&SelectCodePage}},
        {"LH", {&LabelHome}},
        {"LS", {&LabelShift}},
        {"LR", {&LabelReverse}},
        {"PO", {&PrintOrientation}},
        {"PW", {nullptr, &PrintWidth}},
        {"LL", {nullptr, &LabelLength}},
        {"MN", {nullptr, &MediaTracking}},
        {"BY", {&BarcodeFieldDefaults}},
        {"GB", {&GraphicBox}},
        {"GC", {&GraphicCircle}},
        {"GE", {&GraphicEllipse}},
        {"GD", {&GraphicDiagonal}},
        {"GF", {&GraphicField}},
        {"GS", {&GraphicSymbol}},
        {"XG", {&StoredGraphic}},
        {"IM", {&StoredGraphic}},
        {"MC", {&MapClear}},
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
  static const CommandEntry kBarcode{&Barcode};
  return IsBarcodeCommand(code) ? &kBarcode : nullptr;
}

std::string Name(const ZplCommand& c) { return (c.control ? "~" : "^") + c.code; }

}  // namespace

void SetUpLabel(LabelFormat& format, const std::vector<const ZplCommand*>& commands) {
  for (const ZplCommand* c : commands) {
    const CommandEntry* entry = c->control ? nullptr : FindCommand(c->code);
    if (entry && entry->setup) entry->setup(format, SplitParams(c->params));
  }
}

void DrawLabel(const RenderOptions& options, LabelFormat& format, const PrinterMemory& memory,
               LabelText& text, const std::vector<const ZplCommand*>& commands,
               RenderedLabel& label, std::optional<LabelCanvas>& retained) {
  LabelState state{options, format, memory, text, label, {}, true, {}};
  for (const ZplCommand* c : commands) {
    const CommandEntry* entry = FindCommand(c->code);
    if (!entry) {
      ++label.report.skipped[Name(*c)];
    } else if (entry->ignored) {
      ++label.report.ignored[Name(*c)];
    } else {
      if (entry->draw) entry->draw(state, *c, SplitParams(c->params));
      ++label.report.drawn[Name(*c)];
    }
  }
  if (state.fieldPending()) state.finishField();
  if (!state.map_clear) {
    LabelCanvas kept(label.picture.width(), label.picture.height());
    kept.drawCanvas(label.picture);
    retained = std::move(kept);
  } else {
    retained.reset();
  }
  if (format.inverted) label.picture.invert();
}

}  // namespace corvella::zpl
