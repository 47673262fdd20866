#include "process/system_log.h"

#include <sys/syscall.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "process/write_all.h"

namespace corvella {

namespace {

std::mutex& ObserverMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

std::map<int, LogObserver>& Observers() {
  static auto* observers = new std::map<int, LogObserver>;
  return *observers;
}

std::string Prefix() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local {};
  localtime_r(&now.tv_sec, &local);
  char stamp[64];
  size_t len = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  char rest[96];
  snprintf(rest, sizeof rest, ".%03ld corvella[%ld:%ld] ", now.tv_nsec / 1000000L,
           static_cast<long>(getpid()), static_cast<long>(syscall(SYS_gettid)));
  return std::string(stamp, len) + rest;
}

}  // namespace

void Log(std::string_view message) {
  std::string line = Prefix();
  line.append(message);
  line.push_back('\n');
  // A log line that cannot be written is dropped: there is nowhere left to
  // report it.
  corvella::WriteAll(STDERR_FILENO, line);
  std::string text(message);
  syslog(LOG_NOTICE, "%s", text.c_str());

  std::lock_guard<std::mutex> lock(ObserverMutex());
  for (auto& [id, observer] : Observers()) observer(message);
}

int AddLogObserver(LogObserver observer) {
  static int next_id = 0;
  std::lock_guard<std::mutex> lock(ObserverMutex());
  int id = ++next_id;
  Observers().emplace(id, std::move(observer));
  return id;
}

void RemoveLogObserver(int id) {
  std::lock_guard<std::mutex> lock(ObserverMutex());
  Observers().erase(id);
}

}  // namespace corvella
