// Feeds arbitrary documents to the ZPL parser and renderer. Whatever the
// input, rendering ends, every label's picture has the size its report
// gives, within the cap, and the report is valid JSON.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

#include "zpl/document/document_drawing.h"
#include "zpl/document/label_pictures.h"
#include "zpl/document/label_renderer.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A small cap keeps each run fast; the code paths are those of any size.
  static corvella::zpl::LabelRenderer renderer(
      {.dots_per_mm = 8, .media = std::nullopt, .max_side_dots = 400});
  // Label by label, as the simulated printer and the command-line tool draw.
  corvella::zpl::DocumentDrawing drawing(
      renderer, std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<corvella::zpl::LabelReport> reports;
  while (const std::optional<corvella::zpl::RenderedLabel> label = drawing.next()) {
    Check(label->picture.width() == label->report.width_dots);
    Check(label->picture.height() == label->report.height_dots);
    Check(label->picture.width() <= 400 && label->picture.height() <= 400);
    reports.push_back(label->report);
  }
  Check(nlohmann::json::accept(corvella::zpl::ReportJson(drawing.report(), reports, "fuzz")));
  return 0;
}
