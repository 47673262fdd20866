#include "zpl/document/document_drawing.h"

#include <string>
#include <utility>

namespace corvella::zpl {

DocumentDrawing::DocumentDrawing(LabelRenderer& renderer, std::string_view document, Mode mode)
    : renderer_(renderer), reader_(document), mode_(mode) {}

bool DocumentDrawing::read(ZplCommand& command) {
  if (ahead_) {
    command = std::move(*ahead_);
    ahead_.reset();
    return true;
  }
  return reader_.next(command);
}

std::optional<RenderedLabel> DocumentDrawing::finish() {
  std::optional<RenderedLabel> label =
      renderer_.finishLabel(label_, format_, retained_, report_, mode_ == Mode::kDraw);
  label_.clear();
  in_label_ = false;
  drew_ = true;
  return label;
}

std::optional<RenderedLabel> DocumentDrawing::next() {
  ZplCommand c;
  while (!ended_ && read(c)) {
    if (c.control && (c.code == "DG" || c.code == "DN")) {
      // Downloads take effect where they stand, inside a label or not; ~DN
      // right after a download that has not got all its data aborts it.
      if (c.code == "DG") {
        ZplCommand after;
        bool aborted = false;
        if (reader_.next(after)) {
          aborted = after.control && after.code == "DN";
          ahead_ = std::move(after);
        }
        renderer_.storeGraphic(c, aborted, report_);
      }
      if (in_label_) label_.push_back(std::move(c));
    } else if (!c.control && c.code == "XA") {
      std::optional<RenderedLabel> before;
      if (in_label_) {
        report_.warnings.push_back("^XA inside a label: the label before it ends there");
        before = finish();
      }
      in_label_ = true;
      label_.push_back(std::move(c));
      if (before) return before;
    } else if (!c.control && c.code == "XZ") {
      if (in_label_) {
        label_.push_back(std::move(c));
        if (std::optional<RenderedLabel> label = finish()) return label;
      }
    } else if (in_label_) {
      label_.push_back(std::move(c));
    } else {
      ++outside_;
    }
  }
  if (ended_) return std::nullopt;
  ended_ = true;
  std::optional<RenderedLabel> last;
  if (in_label_) {
    report_.warnings.push_back("the last label has no ^XZ; drawn as it stands");
    last = finish();
  }
  if (outside_ > 0) {
    report_.warnings.push_back(std::to_string(outside_) + " command(s) outside ^XA ... ^XZ");
  }
  if (!drew_ && report_.stored.empty()) {
    report_.warnings.push_back("no label (^XA ... ^XZ) in the document");
  }
  return last;
}

}  // namespace corvella::zpl
