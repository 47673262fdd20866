#include "engine_stand_in/ui_link_reader.h"

#include <string>
#include <utility>

#include "engine_stand_in/ui_link_log.h"

namespace {

// The thread's whole life: reads `input` until it ends, breaks or is
// cancelled, then calls `on_end`. Owns `input` and `cancellable`.
void ReadFrames(GInputStream* owned_input, GCancellable* owned_cancellable,
                const UiLinkReader::CallSink& on_calls, const UiLinkReader::EndSink& on_end) {
  g_autoptr(GInputStream) input = owned_input;
  g_autoptr(GCancellable) cancellable = owned_cancellable;
  UiLinkFrameParser parser;
  std::vector<uint8_t> buffer(64 * 1024);
  std::vector<std::vector<uint8_t>> bodies;
  for (;;) {
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

UiLinkReader::UiLinkReader(GInputStream* input, CallSink on_calls, EndSink on_end)
    : cancellable_(g_cancellable_new()),
      thread_(ReadFrames, input, G_CANCELLABLE(g_object_ref(cancellable_)), std::move(on_calls),
              std::move(on_end)) {}

UiLinkReader::~UiLinkReader() {
  stop();
  g_object_unref(cancellable_);
}

void UiLinkReader::stop() {
  g_cancellable_cancel(cancellable_);
  if (thread_.joinable()) thread_.join();
}
