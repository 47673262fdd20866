#include "zpl/document/label_pictures.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "process/failure.h"
#include "zpl/document/document_drawing.h"

namespace corvella::zpl {

std::string PicturePath(const std::string& stem, size_t index) {
  return index == 0 ? stem + ".png" : stem + "-" + std::to_string(index + 1) + ".png";
}

std::string ReportPath(const std::string& stem) { return stem + ".json"; }

namespace {

// Field data may hold any bytes; the report replaces what is not UTF-8.
std::string Dump(const nlohmann::json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

// One label's entry in the report's list, as it stands there: indented by
// four spaces.
std::string LabelJson(const LabelReport& r, const std::string& picture) {
  const std::string entry = Dump({
      {"picture", picture},
      {"width_dots", r.width_dots},
      {"height_dots", r.height_dots},
      {"dots_per_mm", r.dots_per_mm},
      {"drawn", r.drawn},
      {"ignored", r.ignored},
      {"skipped", r.skipped},
      {"warnings", r.warnings},
  });
  std::string out = "    ";
  for (char c : entry) {
    out.push_back(c);
    if (c == '\n') out += "    ";
  }
  return out;
}

// The report around the labels' entries, each written as its label was
// added, so that the report of many labels is never held as a JSON tree.
std::string ComposeReport(const DocumentReport& document, const std::string& labels) {
  constexpr const char* kLabels = "\"labels\": \"\"";
  std::string out =
      Dump({{"labels", ""}, {"stored", document.stored}, {"warnings", document.warnings}}) + "\n";
  out.replace(out.find(kLabels), std::string(kLabels).size(),
              labels.empty() ? "\"labels\": []" : "\"labels\": [\n" + labels + "\n  ]");
  return out;
}

std::string DirectoryFree(const std::string& stem) {
  return stem.substr(stem.find_last_of('/') + 1);
}

}  // namespace

std::string ReportJson(const DocumentReport& document, const std::vector<LabelReport>& labels,
                       const std::string& stem) {
  std::string entries;
  for (size_t i = 0; i < labels.size(); ++i) {
    if (i > 0) entries += ",\n";
    entries += LabelJson(labels[i], PicturePath(DirectoryFree(stem), i));
  }
  return ComposeReport(document, entries);
}

LabelPictureWriter::LabelPictureWriter(std::string stem, std::string final_stem)
    : stem_(std::move(stem)), final_stem_(final_stem.empty() ? stem_ : std::move(final_stem)) {}

bool LabelPictureWriter::add(const RenderedLabel& label, std::string& reason) {
  if (!label.picture.writePng(PicturePath(stem_, count_), reason, label.report.dots_per_mm)) {
    return false;
  }
  if (count_ > 0) labels_json_ += ",\n";
  labels_json_ += LabelJson(label.report, PicturePath(DirectoryFree(final_stem_), count_));
  ++count_;
  return true;
}

bool LabelPictureWriter::finish(const DocumentReport& document, std::string& reason) {
  const std::string path = ReportPath(stem_);
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "we"), &std::fclose);
  const std::string json = ComposeReport(document, labels_json_);
  if (!file || std::fwrite(json.data(), 1, json.size(), file.get()) != json.size() ||
      std::fflush(file.get()) != 0) {
    reason = PosixFailure("cannot write " + path, errno);
    return false;
  }
  return true;
}

bool DrawLabelPictures(LabelRenderer& renderer, std::string_view document, const std::string& stem,
                       size_t& labels, std::string& reason, const std::string& final_stem) {
  LabelPictureWriter writer(stem, final_stem);
  DocumentDrawing drawing(renderer, document);
  bool written = true;
  // A picture that cannot be written stops the writing, not the drawing:
  // the document's stored objects still reach the printer's memory.
  while (std::optional<RenderedLabel> label = drawing.next()) {
    if (written) written = writer.add(*label, reason);
  }
  labels = writer.count();
  return written && writer.finish(drawing.report(), reason);
}

bool WriteLabelPictures(const RenderedDocument& document, const std::string& stem,
                        std::string& reason) {
  LabelPictureWriter writer(stem);
  for (const RenderedLabel& label : document.labels) {
    if (!writer.add(label, reason)) return false;
  }
  return writer.finish(document, reason);
}

}  // namespace corvella::zpl
