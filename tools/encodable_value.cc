#include "tools/encodable_value.h"

#include <algorithm>
#include <compare>
#include <type_traits>

namespace {

template <typename T>
bool ElementLess(const T& a, const T& b) {
  if constexpr (std::is_floating_point_v<T>) {
    return std::strong_order(a, b) < 0;
  } else if constexpr (std::is_same_v<T, EncodableValue>) {
    return EncodableValueLess()(a, b);
  } else {
    return a < b;
  }
}

template <typename T>
bool SameKindLess(const T& a, const T& b) {
  if constexpr (std::is_same_v<T, std::monostate>) {
    return false;
  } else if constexpr (std::is_same_v<T, EncodableMap>) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](const auto& x, const auto& y) {
                                          if (ElementLess(x.first, y.first)) return true;
                                          if (ElementLess(y.first, x.first)) return false;
                                          return ElementLess(x.second, y.second);
                                        });
  } else if constexpr (requires { a.begin(); } && !std::is_same_v<T, std::string>) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](const auto& x, const auto& y) { return ElementLess(x, y); });
  } else {
    return ElementLess(a, b);
  }
}

}  // namespace

bool EncodableValueLess::operator()(const EncodableValue& a, const EncodableValue& b) const {
  if (a.index() != b.index()) return a.index() < b.index();
  return std::visit(
      [&b](const auto& left) {
        using T = std::decay_t<decltype(left)>;
        return SameKindLess(left, std::get<T>(b));
      },
      static_cast<const EncodableVariant&>(a));
}
