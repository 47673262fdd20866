// Feeds an arbitrary byte stream, cut into pieces at places the input also
// chooses, to the UI link's frame reader. Whatever the input, the bodies
// handed out, framed again, are exactly the stream's start; the memory held
// stays near the bytes received; and every call body either decodes or is
// refused, and what decodes frames back to the same body.
#include <stand_in/ui_link_frame.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

size_t ChannelLength(const std::vector<uint8_t>& body) {
  size_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= size_t{body[4 + i]} << (8 * i);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the piece size, so cuts fall everywhere.
  const size_t piece = static_cast<size_t>(data[0] % 17) + 1;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;

  UiLinkFrameParser parser;
  std::vector<std::vector<uint8_t>> bodies;
  size_t fed = 0;
  while (fed < length) {
    const size_t take = length - fed < piece ? length - fed : piece;
    if (!parser.feed(stream + fed, take, bodies)) break;
    fed += take;
  }

  std::vector<uint8_t> reframed;
  for (const std::vector<uint8_t>& body : bodies) {
    const uint32_t body_length = static_cast<uint32_t>(body.size());
    for (int shift = 0; shift < 32; shift += 8) {
      reframed.push_back(static_cast<uint8_t>(body_length >> shift));
    }
    reframed.insert(reframed.end(), body.begin(), body.end());

    if (std::optional<UiLinkCall> call = DecodeUiLinkCall(body)) {
      std::vector<uint8_t> again = EncodeUiLinkCall(call->id, call->channel, call->message);
      Check(std::vector<uint8_t>(again.begin() + 4, again.end()) == body);
    } else {
      // Refused: too short for its header, or a channel name past the end.
      Check(body.size() < 8 || ChannelLength(body) > body.size() - 8);
    }
  }
  Check(reframed.size() <= length);
  Check(std::equal(reframed.begin(), reframed.end(), stream));
  return 0;
}
