#include "zpl/text/scalable_advance.h"

#include <array>

namespace corvella::zpl {
namespace {

// Advances of printable ASCII (space to '~') in shares of the font width,
// fitted to the printer's pictures of font 0 at heights 27 to 120 dots and
// widths 20 to 100 (each character's advance moved in small steps while
// the drawn labels came closer to the printer's); 0 where no picture shows
// the character. Digits are tabular, half the font width.
// clang-format off
constexpr std::array<double, 95> kAscii = {
    // space ! " # $ % & ' ( ) * + , - . /
    0.309, 0, 0, 0, 0, 0, 0, 0, 0.244, 0.184, 0, 0, 0, 0.72, 0, 0.334,
    // 0-9 : ; < = > ? @
    0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0,
    // A-M, N-Z
    0.694, 0, 0.694, 0, 0.544, 0.624, 0.618, 0, 0, 0, 0, 0.604, 0.748,
    0.489, 0.618, 0.654, 0, 0.574, 0.639, 0, 0, 0, 0, 0, 0, 0,
    // [ \ ] ^ _ `
    0, 0, 0, 0, 0, 0,
    // a-m, n-z
    0, 0, 0.494, 0.454, 0, 0.244, 0, 0, 0, 0, 0, 0.264, 0.678,
    0, 0.484, 0, 0, 0, 0.414, 0, 0.444, 0, 0, 0.414, 0, 0,
    // { | } ~
    0, 0, 0, 0,
};
// clang-format on

}  // namespace

double ScalableAdvance(unsigned int character) {
  if (character < ' ' || character > '~') return 0;
  return kAscii[character - ' '];
}

}  // namespace corvella::zpl
