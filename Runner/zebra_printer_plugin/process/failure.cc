#include "process/failure.h"

#include <cstring>

namespace corvella {

std::string PosixErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, in `buffer` or a static string.
  return strerror_r(error, buffer, sizeof buffer);
}

std::string PosixFailure(std::string_view what, int error) {
  return std::string(what) + ": " + PosixErrorText(error);
}

}  // namespace corvella
