#pragma once

#include <string>
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
std::string ReportJson(const RenderedDocument& document, const std::string& stem);

// Writes every picture and the report. Returns false with the reason. A
// writer that renames the files afterwards gives the stem they will have as
// `final_stem`, so the report names the pictures as they will be found.
bool WriteLabelPictures(const RenderedDocument& document, const std::string& stem,
                        std::string& reason, const std::string& final_stem = "");

}  // namespace corvella::zpl
