#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "zpl/commands/label_format.h"
#include "zpl/document/label_renderer.h"
#include "zpl/document/zpl_commands.h"

namespace corvella::zpl {

// Draws one document's labels one at a time, in order: each call to next()
// reads the document on to the end of its next label, draws it and hands
// it over, so a document of any number of labels holds one picture at a
// time (plus the one ^MCN keeps). Formats and graphics the document stores
// go to the renderer's memory as they come. The document and the renderer
// must outlive the drawing; one drawing at a time per renderer.
class DocumentDrawing {
 public:
  enum class Mode {
    kDraw,     // each label drawn
    kMeasure,  // each label only sized: its report as drawn, its picture one dot
  };
  DocumentDrawing(LabelRenderer& renderer, std::string_view document, Mode mode = Mode::kDraw);

  // The next label; nothing after the last.
  std::optional<RenderedLabel> next();

  // What the document stored and the warnings about it outside its labels:
  // complete once next() has returned nothing.
  const DocumentReport& report() const { return report_; }

 private:
  // Reads the next command into `command`, the one read ahead first.
  bool read(ZplCommand& command);
  // Ends the label gathered in `label_`: draws it or stores it as a format.
  std::optional<RenderedLabel> finish();

  LabelRenderer& renderer_;
  ZplCommandReader reader_;
  const Mode mode_;
  std::optional<ZplCommand> ahead_;  // read to see whether ~DN follows a ~DG
  LabelFormat format_;
  std::optional<LabelCanvas> retained_;  // the last label's picture after ^MCN
  std::vector<ZplCommand> label_;
  bool in_label_ = false;
  bool ended_ = false;
  bool drew_ = false;  // a label was drawn or a format stored
  size_t outside_ = 0;
  DocumentReport report_;
};

}  // namespace corvella::zpl
