#include "tests/support/print_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace corvella::testing {

PrintSystem::~PrintSystem() { shutDown(); }

void PrintSystem::shutDown() {
  scheduler_.stop();
  printers_.clear();
  scheduler_.shutDown();
}

bool PrintSystem::start() {
  if (!scheduler_.start()) {
    error_ = scheduler_.error();
    return false;
  }
  const std::string printers = scheduler_.directory() + "/printers";
  if (::mkdir(printers.c_str(), 0755) != 0 && errno != EEXIST) {
    error_ = "mkdir " + printers + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

LabelPrinter* PrintSystem::addQueue(const std::string& name, LabelPrinter::Mode mode) {
  if (scheduler_.directory().empty()) {
    error_ = "the print system has not been started";
    return nullptr;
  }
  if (printers_.count(name) != 0) {
    error_ = "queue " + name + " exists already";
    return nullptr;
  }
  auto printer = std::make_unique<LabelPrinter>();
  if (!printer->start(scheduler_.directory() + "/printers/" + name, mode)) {
    error_ = printer->error();
    return nullptr;
  }
  if (!scheduler_.addQueue(name, printer->uri())) {
    error_ = scheduler_.error();
    return nullptr;
  }
  LabelPrinter* result = printer.get();
  printers_[name] = std::move(printer);
  return result;
}

LabelPrinter* PrintSystem::printer(const std::string& name) {
  auto it = printers_.find(name);
  return it == printers_.end() ? nullptr : it->second.get();
}

std::vector<std::string> PrintSystem::waitForJobs(const std::string& queue, size_t count,
                                                  std::chrono::milliseconds timeout) {
  LabelPrinter* target = printer(queue);
  if (target == nullptr) return {};
  return target->waitForJobs(count, timeout);
}

void PrintSystemTest::SetUp() {
  std::string reason = PrintSystem::UnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
  ASSERT_TRUE(print_system_.start()) << print_system_.error();
}

}  // namespace corvella::testing
