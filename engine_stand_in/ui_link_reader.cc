#include "engine_stand_in/ui_link_reader.h"

#include <gio/gunixinputstream.h>
#include <poll.h>

#include <cerrno>
#include <string>
#include <utility>

#include "engine_stand_in/ui_link_log.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Whether the other end of `input` has closed (bytes may still wait in it).
bool HungUp(GInputStream* input) {
  if (!G_IS_UNIX_INPUT_STREAM(input)) return false;
  pollfd fd{g_unix_input_stream_get_fd(G_UNIX_INPUT_STREAM(input)), POLLRDHUP, 0};
  int ready;
  while ((ready = poll(&fd, 1, 0)) < 0 && errno == EINTR) {
  }
  return ready > 0 && (fd.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
}

// Waits until the host has room for more messages; false when reading is to
// end instead: it was cancelled, or the input has ended and no room came
// within kRoomAfterHangUp.
bool WaitForRoom(GInputStream* input, GCancellable* cancellable, const UiLinkReader::Room& room) {
  std::optional<Clock::time_point> hung_up;
  while (!room(milliseconds(100))) {
    if (g_cancellable_is_cancelled(cancellable)) return false;
    if (!hung_up && HungUp(input)) hung_up = Clock::now();
    if (hung_up && Clock::now() - *hung_up >= UiLinkReader::kRoomAfterHangUp) {
      UiLinkWarning(
          "the input ended while the user interface read no replies; the messages not "
          "yet read are dropped");
      return false;
    }
  }
  return true;
}

// The thread's whole life: reads `input` until it ends, breaks or is
// cancelled, then calls `on_end`. Owns `input` and `cancellable`.
void ReadFrames(GInputStream* owned_input, GCancellable* owned_cancellable,
                const UiLinkReader::CallSink& on_calls, const UiLinkReader::EndSink& on_end,
                const UiLinkReader::Room& room) {
  g_autoptr(GInputStream) input = owned_input;
  g_autoptr(GCancellable) cancellable = owned_cancellable;
  UiLinkFrameParser parser;
  std::vector<uint8_t> buffer(64 * 1024);
  std::vector<std::vector<uint8_t>> bodies;
  for (;;) {
    // No new messages while too many replies wait to be written.
    if (!WaitForRoom(input, cancellable, room)) break;
    g_autoptr(GError) error = nullptr;
    const gssize n = g_input_stream_read(input, buffer.data(), buffer.size(), cancellable, &error);
    if (n < 0) {
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        UiLinkWarning(std::string("reading failed: ") + error->message + "; the link ends");
      }
      break;
    }
    if (n == 0) {
      if (parser.insideFrame()) UiLinkWarning("the input ended inside a frame; the link ends");
      break;
    }
    bodies.clear();
    const bool whole = parser.feed(buffer.data(), static_cast<size_t>(n), bodies);
    // Messages completed before a broken frame still count as received.
    std::vector<UiLinkCall> calls;
    bool short_body = false;
    for (std::vector<uint8_t>& body : bodies) {
      const size_t body_size = body.size();
      std::optional<UiLinkCall> call = DecodeUiLinkCall(std::move(body));
      if (!call) {
        UiLinkWarning("a frame body of " + std::to_string(body_size) +
                      " bytes is too short for its header; the link ends");
        short_body = true;
        break;
      }
      calls.push_back(std::move(*call));
    }
    if (!calls.empty()) on_calls(std::move(calls));
    if (short_body) break;
    if (!whole) {
      UiLinkWarning("a frame is over the limit of " + std::to_string(kUiLinkMaxFrameLength) +
                    " bytes; the link ends");
      break;
    }
  }
  on_end();
}

}  // namespace

UiLinkReader::UiLinkReader(GInputStream* input, CallSink on_calls, EndSink on_end, Room room)
    : cancellable_(g_cancellable_new()),
      thread_(ReadFrames, input, G_CANCELLABLE(g_object_ref(cancellable_)), std::move(on_calls),
              std::move(on_end), std::move(room)) {}

UiLinkReader::~UiLinkReader() {
  stop();
  g_object_unref(cancellable_);
}

void UiLinkReader::stop() {
  g_cancellable_cancel(cancellable_);
  if (thread_.joinable()) thread_.join();
}
