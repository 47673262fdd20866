#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "process/system_log.h"

namespace corvella::testing {

// Records every message logged while it exists, from any thread.
class LogCapture {
 public:
  LogCapture()
      : id_(AddLogObserver([this](std::string_view message) {
          std::lock_guard<std::mutex> lock(mutex_);
          lines_.emplace_back(message);
        })) {}
  ~LogCapture() { RemoveLogObserver(id_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

  // The lines that begin with `prefix`.
  std::vector<std::string> linesStartingWith(std::string_view prefix) const {
    std::vector<std::string> matching;
    for (const std::string& line : lines()) {
      if (line.rfind(prefix, 0) == 0) matching.push_back(line);
    }
    return matching;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  int id_;
};

}  // namespace corvella::testing
