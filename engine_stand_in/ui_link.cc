#include "engine_stand_in/ui_link.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine_stand_in/fl_engine_private.h"
#include "engine_stand_in/ui_link_frame.h"
#include "engine_stand_in/ui_link_reader.h"
#include "engine_stand_in/ui_link_writer.h"

// Everything the link's work items and reply callbacks reach. They hold it
// weakly: a reply given after the link has gone is dropped. All fields but
// the reader, the writer and `pending_batches` belong to the main thread.
struct UiLink::Core : std::enable_shared_from_this<UiLink::Core> {
  Dispatch dispatch;
  Finished on_finished;
  std::unique_ptr<UiLinkWriter> writer;
  std::unique_ptr<UiLinkReader> reader;

  // Batches the reader has handed to the main thread and that have not run.
  std::atomic<size_t> pending_batches{0};
  size_t unanswered = 0;
  bool input_ended = false;
  bool finishing = false;  // waiting for the last replies to be written
  bool finished = false;   // finish() has run or on_finished was called

  void Deliver(UiLinkCall call) {
    ++unanswered;
    std::weak_ptr<Core> weak = weak_from_this();
    const uint32_t id = call.id;
    // The message is handed on without a copy: the bytes are released with
    // the last reference to them.
    auto* body = new std::vector<uint8_t>(std::move(call.message));
    g_autoptr(GBytes) message = g_bytes_new_with_free_func(
        body->data(), body->size(),
        [](gpointer data) { delete static_cast<std::vector<uint8_t>*>(data); }, body);
    dispatch(call.channel, message, [weak, id](GBytes* reply) {
      auto core = weak.lock();
      if (!core) return;
      gsize size = 0;
      const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(reply, &size));
      core->writer->send(EncodeUiLinkReply(id, std::vector<uint8_t>(data, data + size)));
      --core->unanswered;
      if (core->input_ended) core->MaybeFinish();
    });
  }

  bool Settled() const { return pending_batches.load() == 0 && unanswered == 0; }

  // Runs on_finished once nothing received is unanswered and every reply has
  // been written.
  void MaybeFinish() {
    if (finishing || finished || !Settled()) return;
    finishing = true;
    std::weak_ptr<Core> weak = weak_from_this();
    writer->whenFlushed([weak] {
      fl_engine_post_to_main_thread([weak] {
        auto core = weak.lock();
        if (!core || core->finished) return;
        core->finished = true;
        if (core->on_finished) core->on_finished();
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

std::unique_ptr<UiLink> UiLink::claimStandardStreams(Dispatch dispatch, Finished on_finished) {
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
    g_warning("UI link: cannot take over standard input and output: %s", g_strerror(errno));
    for (int fd : {input, output, null_input}) {
      if (fd >= 0) close(fd);
    }
    return nullptr;
  }
  close(null_input);
  return std::make_unique<UiLink>(input, output, std::move(dispatch), std::move(on_finished));
}

UiLink::UiLink(int input_fd, int output_fd, Dispatch dispatch, Finished on_finished)
    : core_(std::make_shared<Core>()) {
  core_->dispatch = std::move(dispatch);
  core_->on_finished = std::move(on_finished);
  core_->writer = std::make_unique<UiLinkWriter>(output_fd);
  std::weak_ptr<Core> weak = core_;
  Core* core = core_.get();
  core_->reader = std::make_unique<UiLinkReader>(
      input_fd,
      [weak, core](std::vector<UiLinkCall> calls) {
        // One work item per batch: a work item that a handler posts runs
        // after the rest of the messages that arrived with its own. The
        // reader stops before the core goes, so `core` is alive here.
        core->pending_batches.fetch_add(1);
        fl_engine_post_to_main_thread([weak, calls = std::move(calls)]() mutable {
          auto locked = weak.lock();
          if (!locked) return;
          for (UiLinkCall& call : calls) locked->Deliver(std::move(call));
          locked->pending_batches.fetch_sub(1);
          if (locked->input_ended) locked->MaybeFinish();
        });
      },
      [weak](UiLinkReader::End) {
        fl_engine_post_to_main_thread([weak] {
          auto locked = weak.lock();
          if (!locked) return;
          locked->input_ended = true;
          locked->MaybeFinish();
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
  // Dispatches what the reader had passed on and waits for every answer
  // that work in flight will give; answers come through the main context.
  while (!core.Settled()) g_main_context_iteration(nullptr, TRUE);
  core.writer->close(UiLinkWriter::kCloseDeadline);
  core.reader.reset();
}
