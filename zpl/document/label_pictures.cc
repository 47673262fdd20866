#include "zpl/document/label_pictures.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "Runner/failure.h"

namespace corvella::zpl {

std::string PicturePath(const std::string& stem, size_t index) {
  return index == 0 ? stem + ".png" : stem + "-" + std::to_string(index + 1) + ".png";
}

std::string ReportPath(const std::string& stem) { return stem + ".json"; }

std::string ReportJson(const RenderedDocument& document, const std::string& stem) {
  nlohmann::json labels = nlohmann::json::array();
  const std::string directory_free_stem = stem.substr(stem.find_last_of('/') + 1);
  for (size_t i = 0; i < document.labels.size(); ++i) {
    const LabelReport& r = document.labels[i].report;
    labels.push_back({
        {"picture", PicturePath(directory_free_stem, i)},
        {"width_dots", r.width_dots},
        {"height_dots", r.height_dots},
        {"dots_per_mm", r.dots_per_mm},
        {"drawn", r.drawn},
        {"ignored", r.ignored},
        {"skipped", r.skipped},
        {"warnings", r.warnings},
    });
  }
  nlohmann::json report = {
      {"labels", labels}, {"stored", document.stored}, {"warnings", document.warnings}};
  // Field data may hold any bytes; the report replaces what is not UTF-8.
  return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool WriteLabelPictures(const RenderedDocument& document, const std::string& stem,
                        std::string& reason, const std::string& final_stem) {
  for (size_t i = 0; i < document.labels.size(); ++i) {
    const RenderedLabel& label = document.labels[i];
    if (!label.picture.writePng(PicturePath(stem, i), reason, label.report.dots_per_mm)) {
      return false;
    }
  }
  const std::string path = ReportPath(stem);
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "we"), &std::fclose);
  const std::string json = ReportJson(document, final_stem.empty() ? stem : final_stem);
  if (!file || std::fwrite(json.data(), 1, json.size(), file.get()) != json.size() ||
      std::fflush(file.get()) != 0) {
    reason = PosixFailure("cannot write " + path, errno);
    return false;
  }
  return true;
}

}  // namespace corvella::zpl
