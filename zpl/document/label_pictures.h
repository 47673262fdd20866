#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zpl/document/label_renderer.h"

namespace corvella::zpl {

// The files of a rendered document named after `stem`: the first label's
// picture is STEM.png, the next STEM-2.png, STEM-3.png, ..., the report
// STEM.json.
std::string PicturePath(const std::string& stem, size_t index);
std::string ReportPath(const std::string& stem);

// The report as JSON: the document's warnings and, per label, its picture,
// size, the commands drawn, ignored and skipped, and its warnings.
std::string ReportJson(const DocumentReport& document, const std::vector<LabelReport>& labels,
                       const std::string& stem);

// Writes a document's pictures as its labels are drawn, one at a time, and
// last its report. A writer that renames the files afterwards gives the
// stem they will have as `final_stem`, so the report names the pictures as
// they will be found.
class LabelPictureWriter {
 public:
  explicit LabelPictureWriter(std::string stem, std::string final_stem = "");

  // Writes the next label's picture and keeps its report. Returns false
  // with the reason.
  bool add(const RenderedLabel& label, std::string& reason);
  // Writes the report of the document and every label added.
  bool finish(const DocumentReport& document, std::string& reason);

  // How many pictures were written.
  size_t count() const { return count_; }

 private:
  std::string stem_;
  std::string final_stem_;
  size_t count_ = 0;
  std::string labels_json_;  // the entries of the labels added, in the report's form
};

// Draws every label of `document` and writes each picture as it is drawn,
// then the report, so that memory does not grow with the number of labels.
// Returns false with the reason; `labels` is how many pictures were written
// either way.
bool DrawLabelPictures(LabelRenderer& renderer, std::string_view document, const std::string& stem,
                       size_t& labels, std::string& reason, const std::string& final_stem = "");

// Writes every picture of a document drawn at once, and the report.
bool WriteLabelPictures(const RenderedDocument& document, const std::string& stem,
                        std::string& reason);

}  // namespace corvella::zpl
