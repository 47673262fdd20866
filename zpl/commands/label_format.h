#pragma once

#include <string>

#include "zpl/drawing/label_canvas.h"
#include "zpl/text/code_page.h"
#include "zpl/text/label_text.h"

namespace corvella::zpl {

// Settings that hold from one label to the next until a document changes
// them.
struct LabelFormat {
  int home_x = 0, home_y = 0;                        // ^LH
  int shift = 0;                                     // ^LS
  int print_width = 0;                               // ^PW, 0: the default size
  int label_length = 0;                              // ^LL
  bool continuous = false;                           // ^MNN: continuous media, cut at ^LL
  bool inverted = false;                             // ^PO
  bool label_reverse = false;                        // ^LR
  CodePage code_page;                                // ^CI
  FontChoice default_font = ResolveFont('A', 0, 0);  // ^CF
  char default_font_name = 'A';
  int default_height = 0;  // as ^CF asked, 0 when it did not
  int default_width = 0;
  Orientation default_orientation = Orientation::kNormal;  // ^FW
  bool default_right_justified = false;                    // ^FW
  std::string font_by_name = "0.FNT";                      // ^A@, until another name
  int module_width = 2;                                    // ^BY
  double ratio = 3.0;
  int bar_height = 10;
};

}  // namespace corvella::zpl
