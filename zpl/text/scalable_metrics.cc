#include "zpl/text/scalable_metrics.h"

#include <array>
#include <utility>

namespace corvella::zpl {
namespace {

// Measured on the printer's pictures of font 0 at heights 27 to 120 dots and
// widths 20 to 100: each character's first and last column of ink and, from
// where its neighbours start, its advance (a least-squares fit over the
// pictures' lines, which places every glyph within a dot, most within a
// quarter). Digits are tabular, half the font width. N and the colon, seen
// only at the end of a line, advance by their ink and their left bearing
// on either side. A character with an advance and no ink keeps the face's
// glyph, centred.
constexpr std::pair<char, ScalableMetrics> kMeasured[] = {
    {' ', {0.250, 0.000, 0.000}}, {'(', {0.336, 0.055, 0.221}}, {')', {0.335, 0.053, 0.222}},
    {'-', {0.800, 0.143, 0.500}}, {'/', {0.334, 0.000, 0.000}}, {'0', {0.500, 0.047, 0.401}},
    {'1', {0.500, 0.034, 0.320}}, {'2', {0.500, 0.025, 0.422}}, {'3', {0.500, 0.024, 0.422}},
    {'4', {0.500, 0.026, 0.444}}, {'5', {0.500, 0.024, 0.418}}, {'6', {0.500, 0.056, 0.417}},
    {'7', {0.500, 0.023, 0.429}}, {'8', {0.500, 0.039, 0.424}}, {'9', {0.500, 0.028, 0.417}},
    {':', {0.282, 0.071, 0.140}}, {'A', {0.552, 0.009, 0.545}}, {'C', {0.554, 0.035, 0.465}},
    {'E', {0.508, 0.097, 0.419}}, {'F', {0.510, 0.080, 0.400}}, {'G', {0.609, 0.035, 0.536}},
    {'I', {0.293, 0.060, 0.140}}, {'K', {0.555, 0.069, 0.475}}, {'L', {0.506, 0.066, 0.400}},
    {'M', {0.747, 0.044, 0.700}}, {'N', {0.671, 0.085, 0.500}}, {'O', {0.608, 0.034, 0.536}},
    {'P', {0.561, 0.060, 0.460}}, {'R', {0.575, 0.068, 0.500}}, {'S', {0.557, 0.042, 0.458}},
    {'a', {0.498, 0.037, 0.400}}, {'c', {0.438, 0.049, 0.350}}, {'d', {0.495, 0.049, 0.375}},
    {'e', {0.504, 0.056, 0.384}}, {'f', {0.259, 0.003, 0.237}}, {'g', {0.493, 0.048, 0.378}},
    {'h', {0.489, 0.044, 0.380}}, {'i', {0.280, 0.075, 0.132}}, {'k', {0.454, 0.046, 0.390}},
    {'l', {0.270, 0.067, 0.130}}, {'m', {0.769, 0.068, 0.647}}, {'n', {0.503, 0.053, 0.377}},
    {'o', {0.512, 0.056, 0.383}}, {'p', {0.498, 0.053, 0.375}}, {'r', {0.333, 0.063, 0.260}},
    {'s', {0.443, 0.026, 0.378}}, {'t', {0.277, 0.017, 0.238}}, {'u', {0.473, 0.029, 0.350}},
    {'x', {0.434, 0.018, 0.408}},
};

constexpr std::array<ScalableMetrics, 95> Ascii() {
  std::array<ScalableMetrics, 95> table{};
  for (const auto& [character, metrics] : kMeasured)
    table[static_cast<size_t>(character - ' ')] = metrics;
  return table;
}
constexpr std::array<ScalableMetrics, 95> kAscii = Ascii();

}  // namespace

ScalableMetrics PrinterMetrics(gunichar character) {
  gunichar base = character, mark = 0;
  if (character > '~' && g_unichar_decompose(character, &base, &mark) && mark != 0) {
    character = base;
  }
  if (character < ' ' || character > '~') return {};
  return kAscii[character - ' '];
}

}  // namespace corvella::zpl
