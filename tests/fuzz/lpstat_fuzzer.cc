// Feeds arbitrary text to the readers of lpstat's answers. Whatever the
// input, every listed name is trimmed, non-empty and listed once, and a
// default name is never empty.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "cups/lpstat_output.h"
#include "text/grapheme_text.h"
#include "text/unicode_text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::set<std::string> canonical;
  for (const std::string& name : corvella::LpstatOutput::printerNames(text)) {
    Check(!name.empty());
    Check(corvella::TrimPlatformWhitespace(name) == name);
    Check(canonical.insert(corvella::CanonicalForm(name)).second);
  }

  if (std::optional<std::string> name = corvella::LpstatOutput::defaultPrinter(text)) {
    Check(!name->empty());
    Check(corvella::TrimPlatformWhitespace(*name) == *name);
  }
  return 0;
}
