#pragma once

namespace corvella::zpl {

// How far the printer's scalable font (font 0) moves the pen after
// `character`, as a share of the field's font width, for the characters
// calibrated against the printer's pictures; 0 for any other, which keeps
// the drawn face's own advance.
double ScalableAdvance(unsigned int character);

}  // namespace corvella::zpl
