#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace corvella::zpl {

// The encoding of field data, as ^CI chose it: the code page's number and
// the byte substitutions its remapping pairs ask for.
class CodePage {
 public:
  // Sets ^CIa,s1,d1,s2,d2,...: returns false, changing nothing, for a
  // number this renderer has no encoding for, with the reason in `warning`;
  // true otherwise, with `warning` set when it is drawn as another page.
  bool select(const std::vector<std::string>& params, std::string& warning);

  // Field bytes as UTF-8 text; control characters are dropped and bytes
  // that are not text in the encoding become U+FFFD.
  std::string decode(const std::string& bytes) const;

  int number() const { return number_; }

 private:
  int number_ = 0;
  std::array<uint8_t, 256> remap_ = identity();

  static std::array<uint8_t, 256> identity();
};

}  // namespace corvella::zpl
