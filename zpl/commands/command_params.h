#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "zpl/document/zpl_commands.h"
#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

using Params = std::vector<std::string>;

// Orientation letters N, R, I, B; nothing for any other.
inline std::optional<Orientation> OrientationOf(char letter) {
  switch (letter) {
    case 'N':
      return Orientation::kNormal;
    case 'R':
      return Orientation::kRotated;
    case 'I':
      return Orientation::kInverted;
    case 'B':
      return Orientation::kBottomUp;
  }
  return std::nullopt;
}

// One parameter of a command: the member of the command's struct it fills
// and, for numbers, the range it is clamped to.
template <typename S, typename T>
struct Param {
  T S::*member;
  double lo = 0;
  double hi = 0;
};
template <typename S, typename T>
Param<S, T> P(T S::*member, double lo = 0, double hi = 0) {
  return {member, lo, hi};
}
// A parameter the command passes over.
struct Skip {};

template <typename S, typename T>
void ReadParam(const Params& p, size_t at, S& into, const Param<S, T>& param) {
  T& value = into.*param.member;
  const int lo = static_cast<int>(param.lo), hi = static_cast<int>(param.hi);
  if constexpr (std::is_same_v<T, int>) {
    value = ParamInt(p, at, value, lo, hi);
  } else if constexpr (std::is_same_v<T, double>) {
    value = ParamDouble(p, at, value, param.lo, param.hi);
  } else if constexpr (std::is_same_v<T, char>) {
    value = ParamLetter(p, at, value);
  } else if constexpr (std::is_same_v<T, bool>) {
    value = ParamYesNo(p, at, value);
  } else if constexpr (std::is_same_v<T, std::optional<Orientation>>) {
    if (auto orientation = OrientationOf(ParamLetter(p, at, 'X'))) value = orientation;
  } else if constexpr (std::is_same_v<T, std::optional<int>>) {
    if (auto number = ParamNumber(p, at, lo, hi)) value = number;
  } else {
    static_assert(std::is_same_v<T, std::string>, "a kind of parameter ReadParams knows");
    value = p[at];
  }
}

template <typename S>
void ReadParam(const Params&, size_t, S&, Skip) {}

// The one rule by which every command reads its parameters into its own
// small struct: `into` with the parameters read in order into the members
// `params` name. A parameter that is missing, empty or not of its member's
// kind leaves the member as `into` held it, so the struct's initial values
// are the command's defaults (or the label's settings, for the commands
// that keep what they leave out).
//
// The kinds: int and double are numbers clamped to [lo, hi]; char is the
// first character upper-cased; bool is Y or N; std::optional<Orientation>
// is N, R, I or B; std::optional<int> is a clamped number, there only when
// given; std::string is the parameter's text as it stands.
template <typename S, typename... Read>
S ReadParams(const Params& p, S into, const Read&... params) {
  size_t at = 0;
  const auto read = [&](const auto& param) {
    if (at < p.size() && !p[at].empty()) ReadParam(p, at, into, param);
    ++at;
  };
  (read(params), ...);
  return into;
}

}  // namespace corvella::zpl
