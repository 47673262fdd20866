#include "tests/support/critical_log.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <map>
#include <mutex>

namespace corvella::testing {
namespace {

// The parts expected now, with how many criticals held each; criticals may
// come from any thread.
struct Expectations {
  std::mutex mutex;
  std::map<std::string, int> seen;
};

Expectations& Expected() {
  static auto* expected = new Expectations;
  return *expected;
}

GLogWriterOutput FailOnCritical(GLogLevelFlags level, const GLogField* fields, gsize count,
                                gpointer) {
  if ((level & G_LOG_LEVEL_CRITICAL) != 0) {
    std::string message;
    for (gsize i = 0; i < count; ++i) {
      if (g_strcmp0(fields[i].key, "MESSAGE") == 0 && fields[i].length < 0) {
        message = static_cast<const char*>(fields[i].value);
      }
    }
    bool expected = false;
    {
      Expectations& expectations = Expected();
      std::lock_guard<std::mutex> lock(expectations.mutex);
      for (auto& [part, seen] : expectations.seen) {
        if (message.find(part) != std::string::npos) {
          ++seen;
          expected = true;
        }
      }
    }
    if (!expected) ADD_FAILURE() << "unexpected critical: " << message;
  }
  return g_log_writer_default(level, fields, count, nullptr);
}

}  // namespace

ExpectedCritical::ExpectedCritical(std::string part) : part_(std::move(part)) {
  Expectations& expectations = Expected();
  std::lock_guard<std::mutex> lock(expectations.mutex);
  expectations.seen[part_] = 0;
}

ExpectedCritical::~ExpectedCritical() {
  Expectations& expectations = Expected();
  std::lock_guard<std::mutex> lock(expectations.mutex);
  EXPECT_GT(expectations.seen[part_], 0) << "no critical holding \"" << part_ << "\"";
  expectations.seen.erase(part_);
}

void FailTestsOnUnexpectedCriticals() { g_log_set_writer_func(FailOnCritical, nullptr, nullptr); }

}  // namespace corvella::testing
