#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "zpl/document/graphic_field.h"
#include "zpl/document/zpl_commands.h"

namespace corvella::zpl {

// What a printer keeps from one label and one document to the next: label
// formats stored by ^DF and graphics stored by ~DG, each by its object name.
// A name is looked up without its drive ("R:LOGO.GRF" and "E:LOGO.GRF" are
// one object), as a printer searches all drives.
class PrinterMemory {
 public:
  // The object name of a reference "d:o.x": the name and extension in upper
  // case, `extension` when it has none, "UNKNOWN" for a missing name.
  static std::string objectName(std::string_view reference, std::string_view extension);

  // Stores an object, replacing one of the same name. Memory is bounded: past
  // its limits the oldest objects are dropped.
  void storeGraphic(const std::string& name, Bitmap graphic);
  void storeFormat(const std::string& name, std::vector<ZplCommand> format);

  const Bitmap* graphic(const std::string& name) const;
  const std::vector<ZplCommand>* format(const std::string& name) const;

 private:
  void drop(const std::string& name);
  void keepWithinLimits();

  std::map<std::string, Bitmap> graphics_;
  std::map<std::string, std::vector<ZplCommand>> formats_;
  std::deque<std::string> order_;  // oldest first
  size_t bytes_ = 0;
};

// A label's commands with each ^XF replaced by the stored format it names:
// fields of the label that hold only ^FN n and data fill the format's field
// n (its own data is the default). The result points into `label` and into
// `memory`; warnings say which formats were missing.
std::vector<const ZplCommand*> ExpandStoredFormats(const std::vector<const ZplCommand*>& label,
                                                   const PrinterMemory& memory,
                                                   std::vector<std::string>& warnings);

}  // namespace corvella::zpl
