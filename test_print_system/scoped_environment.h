#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace corvella::testing {

// Sets an environment variable (unsets it, for nullptr) for the life of the
// object, then puts back what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = getenv(name_.c_str())) old_ = old;
    set(value);
  }
  ~ScopedEnvironment() { set(old_ ? old_->c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  void set(const char* value) { value ? setenv(name_.c_str(), value, 1) : unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace corvella::testing
