#pragma once

#include "zpl/commands/command_params.h"
#include "zpl/commands/label_state.h"
#include "zpl/document/zpl_commands.h"

namespace corvella::zpl {

// What each command does to the label being drawn: each reads its
// parameters into its own struct by ReadParams and acts on the label.

// The field (field_commands.cc): ^FO, ^FT, ^FD, ^FV, ^FS, ^FH, ^FR, ^FB, ^A,
// and the settings fields take their font and code page from: ^CF, ^FW, ^CI.
void FieldOrigin(LabelState& s, const ZplCommand& c, const Params& p);
void FieldData(LabelState& s, const ZplCommand& c, const Params& p);
void FieldSeparator(LabelState& s, const ZplCommand& c, const Params& p);
void FieldHex(LabelState& s, const ZplCommand& c, const Params& p);
void FieldReverse(LabelState& s, const ZplCommand& c, const Params& p);
void FieldBlock(LabelState& s, const ZplCommand& c, const Params& p);
void FieldFont(LabelState& s, const ZplCommand& c, const Params& p);
void DefaultFont(LabelState& s, const ZplCommand& c, const Params& p);
void FieldDefaults(LabelState& s, const ZplCommand& c, const Params& p);
void SelectCodePage(LabelState& s, const ZplCommand& c, const Params& p);

// The label's format (format_commands.cc): ^LH, ^LS, ^LR, ^PO, ^MC, ^BY;
// and ^PW, ^LL, ^MN, which size the picture and are applied before the
// label is drawn.
void LabelHome(LabelState& s, const ZplCommand& c, const Params& p);
void LabelShift(LabelState& s, const ZplCommand& c, const Params& p);
void LabelReverse(LabelState& s, const ZplCommand& c, const Params& p);
void PrintOrientation(LabelState& s, const ZplCommand& c, const Params& p);
void MapClear(LabelState& s, const ZplCommand& c, const Params& p);
void BarcodeFieldDefaults(LabelState& s, const ZplCommand& c, const Params& p);
void PrintWidth(LabelFormat& format, const Params& p);
void LabelLength(LabelFormat& format, const Params& p);
void MediaTracking(LabelFormat& format, const Params& p);

// Graphics (graphic_commands.cc): ^GB, ^GC, ^GE, ^GD, ^GS, ^GF, ^XG, ^IM.
void GraphicBox(LabelState& s, const ZplCommand& c, const Params& p);
void GraphicCircle(LabelState& s, const ZplCommand& c, const Params& p);
void GraphicEllipse(LabelState& s, const ZplCommand& c, const Params& p);
void GraphicDiagonal(LabelState& s, const ZplCommand& c, const Params& p);
void GraphicSymbol(LabelState& s, const ZplCommand& c, const Params& p);
void GraphicField(LabelState& s, const ZplCommand& c, const Params& p);
void StoredGraphic(LabelState& s, const ZplCommand& c, const Params& p);

// Barcodes (barcode_commands.cc): ^BC, ^B3, ^BE, ^BU, ^B2, ^BQ, ^BX, ^B7,
// ^BD, ^BO, each read into its struct of barcode_params.h.
void Barcode(LabelState& s, const ZplCommand& c, const Params& p);
bool IsBarcodeCommand(const std::string& code);

}  // namespace corvella::zpl
