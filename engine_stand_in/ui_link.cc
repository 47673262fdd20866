#include "engine_stand_in/ui_link.h"

#include <errno.h>
#include <fcntl.h>
#include <gio/gunixinputstream.h>
#include <gio/gunixoutputstream.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <utility>

#include "engine_stand_in/kept_message.h"
#include "engine_stand_in/main_thread_queue.h"
#include "engine_stand_in/ui_link_log.h"

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

// A stream that owns a copy of `fd` (close-on-exec), or nullptr.
template <typename Stream, Stream* (*Make)(gint, gboolean)>
Stream* OwnCopy(int fd) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  return copy >= 0 ? Make(copy, TRUE) : nullptr;
}

}  // namespace

std::shared_ptr<UiLink> UiLink::claimStandardStreams(Dispatch dispatch,
                                                     std::function<void()> on_finished) {
  if (!IsPipeOrSocket(STDIN_FILENO)) return nullptr;
  if (g_standard_streams_claimed.exchange(true)) return nullptr;
  g_autoptr(GInputStream) input = OwnCopy<GInputStream, g_unix_input_stream_new>(STDIN_FILENO);
  g_autoptr(GOutputStream) output = OwnCopy<GOutputStream, g_unix_output_stream_new>(STDOUT_FILENO);
  int null_fd = -1;
  do {
    null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  } while (null_fd < 0 && errno == EINTR);
  g_autoptr(GInputStream) null_input =
      null_fd >= 0 ? g_unix_input_stream_new(null_fd, TRUE) : nullptr;
  if (input == nullptr || output == nullptr || null_input == nullptr ||
      !Redirect(null_fd, STDIN_FILENO) || !Redirect(STDERR_FILENO, STDOUT_FILENO)) {
    UiLinkWarning(std::string("cannot take over standard input and output: ") + g_strerror(errno));
    return nullptr;
  }
  return start(G_INPUT_STREAM(g_steal_pointer(&input)), G_OUTPUT_STREAM(g_steal_pointer(&output)),
               std::move(dispatch), std::move(on_finished));
}

UiLink::UiLink(Token, Dispatch dispatch, std::function<void()> on_finished, GOutputStream* output)
    : dispatch_(std::move(dispatch)),
      on_finished_(std::move(on_finished)),
      writer_(output, backlog_) {}

std::shared_ptr<UiLink> UiLink::start(GInputStream* input, GOutputStream* output, Dispatch dispatch,
                                      std::function<void()> on_finished) {
  // The link's reader may go at any moment. As the engine of a process that
  // writes its user interface's pipe, the stand-in has SIGPIPE ignored
  // process-wide, so such a write fails with EPIPE instead of ending the
  // process; children start with every signal at its default all the same.
  ::signal(SIGPIPE, SIG_IGN);
  auto link =
      std::make_shared<UiLink>(Token{}, std::move(dispatch), std::move(on_finished), output);
  // The reading thread reaches the link only through work it posts to the
  // main thread, which holds the link weakly. One work item per batch: work
  // that a handler posts runs after the rest of the messages that arrived
  // with its own.
  std::weak_ptr<UiLink> weak = link;
  link->reader_ = std::make_unique<UiLinkReader>(
      input,
      [weak, backlog = link->backlog_](std::vector<UiLinkCall> calls) {
        for (const UiLinkCall& call : calls) backlog->add(call.message.size());
        PostToMainThread([weak, calls = std::move(calls)]() mutable {
          if (auto alive = weak.lock()) alive->deliver(std::move(calls));
        });
      },
      [weak] {
        PostToMainThread([weak] {
          if (auto alive = weak.lock()) alive->readingEnded();
        });
      },
      [backlog = link->backlog_](std::chrono::milliseconds wait) {
        return backlog->hasRoom(wait);
      });
  return link;
}

void UiLink::deliver(std::vector<UiLinkCall> calls) {
  std::weak_ptr<UiLink> weak = weak_from_this();
  for (UiLinkCall& call : calls) {
    ++unanswered_;
    // The message is handed on without a copy, kept where it arrived (a
    // text that ends it is decoded where it lies); its bytes are released
    // with the last reference to them.
    backlog_->remove(call.message.size());
    g_autoptr(GBytes) message = KeepMessage(std::move(call.message));
    dispatch_(call.channel, message, [weak, id = call.id](GBytes* reply) {
      auto link = weak.lock();
      if (!link) return;
      gsize size = 0;
      const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(reply, &size));
      link->writer_.send(EncodeUiLinkReply(id, std::vector<uint8_t>(data, data + size)));
      --link->unanswered_;
      link->settleWhenDone();
    });
  }
}

void UiLink::readingEnded() {
  // The end is the reading thread's last act: everything it read has been
  // delivered before this runs, and the thread is ending.
  reading_ = false;
  reader_.reset();
  // Whatever is still owed gets its time, bounded, so that the host ends
  // even when an answer never comes or nobody reads the replies.
  std::weak_ptr<UiLink> weak = weak_from_this();
  PostToMainThreadAfter(static_cast<unsigned>(std::chrono::milliseconds(kAnswerGrace).count()),
                        [weak] {
                          if (auto link = weak.lock()) link->giveUpAnswers();
                        });
  PostToMainThreadAfter(
      static_cast<unsigned>(std::chrono::milliseconds(UiLinkWriter::kCloseDeadline).count()),
      [weak] {
        if (auto link = weak.lock(); link && !link->settled_) link->writer_.abandon();
      });
  // The user interface has gone: the owner closes the window now, and the
  // replies still owed are written while the application ends.
  if (auto finished = std::exchange(on_finished_, nullptr)) finished();
  settleWhenDone();
}

void UiLink::giveUpAnswers() {
  if (settled_ || unanswered_ == 0) return;
  UiLinkWarning(std::to_string(unanswered_) + " messages still unanswered " +
                std::to_string(kAnswerGrace.count()) +
                " s after the input ended; the link ends without their replies");
  answers_given_up_ = true;
  settleWhenDone();
}

void UiLink::settleWhenDone() {
  if (reading_ || (unanswered_ > 0 && !answers_given_up_) || flushing_) return;
  flushing_ = true;
  std::weak_ptr<UiLink> weak = weak_from_this();
  writer_.afterWritten([weak] {
    PostToMainThread([weak] {
      if (auto link = weak.lock()) link->settled();
    });
  });
}

void UiLink::settled() {
  settled_ = true;
  for (auto& callback : std::exchange(on_settled_, {})) callback();
}

void UiLink::close(std::function<void()> on_settled) {
  on_finished_ = nullptr;
  if (settled_) {
    on_settled();
    return;
  }
  on_settled_.push_back(std::move(on_settled));
  // The reading thread ends and posts its end, as at the end of the input.
  if (reader_) reader_->stop();
}
