#include "tests/host/call_session.h"

#include <algorithm>

namespace corvella::testing {

Label MakeLabel(const std::string& tag, size_t variant) {
  std::vector<std::string> lines = {"^XA", "^FO20,20^A0N,30,30^FD" + tag + "^FS",
                                    "^FO20,60^FDGr\xC3\xBC\xC3\x9F"
                                    "e \xE2\x84\x96 " +
                                        tag + "^FS"};
  if (variant % 7 == 3) lines.insert(lines.begin() + 1, "");  // a blank line
  if (variant % 97 == 5) lines.push_back("^FO20,100^FD" + std::string(8000, 'x') + "^FS");
  if (variant % 499 == 11) lines.push_back("^FO20,140^FD" + std::string(70000, 'y') + "^FS");
  const bool has_end = variant % 3 != 0;
  if (has_end) lines.push_back("^XZ");
  const bool trailing_line_end = variant % 2 == 0;
  // LF, CR, CR LF, or all three in turn. A blank line only comes with one
  // style throughout, so no CR and LF of two line ends ever meet as CR LF.
  const size_t style = variant % 4;
  const bool mixed = style == 3 && variant % 7 != 3;
  Label label;
  for (size_t i = 0; i < lines.size(); ++i) {
    label.zpl += lines[i];
    label.expected += lines[i];
    if (i + 1 < lines.size() || trailing_line_end) {
      const size_t pick = mixed ? i % 3 : std::min<size_t>(style, 2);
      label.zpl += pick == 0 ? "\n" : pick == 1 ? "\r" : "\r\n";
      label.expected += "\r\n";
    }
  }
  if (!has_end) label.expected += "^XZ";
  return label;
}

}  // namespace corvella::testing
