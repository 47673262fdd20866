#include "engine/ui_link.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/background_queue.h"
#include "engine/log.h"
#include "engine/main_queue.h"
#include "engine/ui_link_frame.h"
#include "engine/ui_link_reader.h"
#include "engine/ui_link_writer.h"

// Everything the link's work items and reply callbacks reach. They hold it
// weakly: a reply that a plug-in gives after the link has gone is dropped.
// All fields except the reader and writer (which are thread-safe) belong to
// the main thread.
struct UiLink::Core : std::enable_shared_from_this<UiLink::Core> {
  BinaryMessenger* messenger = nullptr;
  Finished on_finished;
  std::unique_ptr<UiLinkWriter> writer;
  std::unique_ptr<UiLinkReader> reader;

  size_t unanswered = 0;
  bool input_ended = false;
  bool finishing = false;  // waiting for the last replies to be written
  bool finished = false;   // finish() has run or on_finished was called
  bool watching = false;
  std::thread watcher;

  ~Core() {
    if (watcher.joinable()) watcher.join();
  }

  void Deliver(UiLinkCall call) {
    ++unanswered;
    std::weak_ptr<Core> weak = weak_from_this();
    const uint32_t id = call.id;
    messenger->deliver(call.channel, call.message, [weak, id](std::vector<uint8_t> reply) {
      auto core = weak.lock();
      if (!core) return;
      core->writer->send(EncodeUiLinkReply(id, reply));
      --core->unanswered;
      if (core->input_ended) core->MaybeFinish();
    });
  }

  // Runs on_finished once nothing received is unanswered, no background work
  // is in flight and every reply has been written.
  void MaybeFinish() {
    if (finishing || finished || unanswered > 0) return;
    if (BackgroundQueue::shared().inFlight() > 0) {
      WatchBackground();
      return;
    }
    finishing = true;
    std::weak_ptr<Core> weak = weak_from_this();
    writer->whenFlushed([weak] {
      MainQueue::shared().post([weak] {
        auto core = weak.lock();
        if (!core || core->finished) return;
        core->finished = true;
        if (core->on_finished) core->on_finished();
      });
    });
  }

  // Background items post their answers before they stop counting as in
  // flight, so the queue gives no main-thread signal when the count reaches
  // zero; a helper thread waits for that and looks again.
  void WatchBackground() {
    if (watching) return;
    if (watcher.joinable()) watcher.join();
    watching = true;
    std::weak_ptr<Core> weak = weak_from_this();
    watcher = std::thread([weak] {
      BackgroundQueue::shared().waitIdle();
      MainQueue::shared().post([weak] {
        auto core = weak.lock();
        if (!core) return;
        core->watching = false;
        core->MaybeFinish();
      });
    });
  }
};

namespace {

std::atomic<bool> g_standard_streams_claimed{false};

bool IsPipeOrSocket(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return false;
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

// dup2 that retries EINTR.
bool Redirect(int from, int to) {
  while (dup2(from, to) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<UiLink> UiLink::claimStandardStreams(BinaryMessenger& messenger,
                                                     Finished on_finished) {
  if (!IsPipeOrSocket(STDIN_FILENO)) return nullptr;
  if (g_standard_streams_claimed.exchange(true)) return nullptr;
  const int input = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  const int output = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  int null_input = -1;
  do {
    null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  } while (null_input < 0 && errno == EINTR);
  if (input < 0 || output < 0 || null_input < 0 || !Redirect(null_input, STDIN_FILENO) ||
      !Redirect(STDERR_FILENO, STDOUT_FILENO)) {
    Log(std::string("UI link: cannot take over standard input and output: ") + strerror(errno));
    for (int fd : {input, output, null_input}) {
      if (fd >= 0) close(fd);
    }
    return nullptr;
  }
  close(null_input);
  return std::make_unique<UiLink>(input, output, messenger, std::move(on_finished));
}

UiLink::UiLink(int input_fd, int output_fd, BinaryMessenger& messenger, Finished on_finished)
    : core_(std::make_shared<Core>()) {
  core_->messenger = &messenger;
  core_->on_finished = std::move(on_finished);
  core_->writer = std::make_unique<UiLinkWriter>(output_fd);
  std::weak_ptr<Core> weak = core_;
  core_->reader = std::make_unique<UiLinkReader>(
      input_fd,
      [weak](std::vector<UiLinkCall> calls) {
        // One work item per batch: a work item that a handler posts runs
        // after the rest of the messages that arrived with its own.
        MainQueue::shared().post([weak, calls = std::move(calls)]() mutable {
          auto core = weak.lock();
          if (!core) return;
          for (UiLinkCall& call : calls) core->Deliver(std::move(call));
        });
      },
      [weak](UiLinkReader::End) {
        MainQueue::shared().post([weak] {
          auto core = weak.lock();
          if (!core) return;
          core->input_ended = true;
          core->MaybeFinish();
        });
      });
}

UiLink::~UiLink() { finish(); }

void UiLink::finish() {
  Core& core = *core_;
  if (!core.reader) return;  // already finished
  core.reader->stop();
  core.input_ended = true;
  core.finished = true;
  // Delivers what the reader had passed on and waits for every answer that
  // work in flight will give.
  MainQueue::shared().runUntilIdle();
  if (core.unanswered > 0) {
    Log("UI link: " + std::to_string(core.unanswered) + " messages were never answered");
  }
  if (core.watcher.joinable()) core.watcher.join();
  core.writer->close(UiLinkWriter::kCloseDeadline);
  core.reader.reset();
}
