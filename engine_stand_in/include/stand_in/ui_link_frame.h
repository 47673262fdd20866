#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The frame format of the UI link, the byte stream through which a user
// interface in another process reaches the host's channels. A wire protocol
// that both ends share, so public to this project's tools and tests; it is
// the engine stand-in's own, not part of the app engine's interface.
//
// Both directions are a stream of frames: a little-endian u32 length, then
// that many bytes of body.
//   UI to host body: u32 id, u32 channel name length, the channel name
//     (UTF-8), then the message (the rest: a standard method codec call).
//   Host to UI body: u32 id of the message answered, then the reply (the
//     rest: a reply envelope, or nothing for "no handler"/not-implemented).
// A frame whose length is over kUiLinkMaxFrameLength, or whose body is too
// short for its header, breaks the link.

inline constexpr uint32_t kUiLinkMaxFrameLength = 256u * 1024u * 1024u;

// One message from the user interface.
struct UiLinkCall {
  uint32_t id = 0;
  std::string channel;
  std::vector<uint8_t> message;
};

// One reply from the host.
struct UiLinkReply {
  uint32_t id = 0;
  std::vector<uint8_t> reply;
};

// Whole frames (length prefix included), ready to write.
std::vector<uint8_t> EncodeUiLinkCall(uint32_t id, std::string_view channel,
                                      const std::vector<uint8_t>& message);
std::vector<uint8_t> EncodeUiLinkReply(uint32_t id, const std::vector<uint8_t>& reply);

// Bodies (without the length prefix); std::nullopt when the body is too short
// for its header.
std::optional<UiLinkCall> DecodeUiLinkCall(std::vector<uint8_t> body);
std::optional<UiLinkReply> DecodeUiLinkReply(const std::vector<uint8_t>& body);

// Cuts a byte stream into frame bodies. Bytes may arrive in pieces of any
// size; a body is handed out once all of it has arrived. Memory grows with
// the bytes actually received, not with the announced length (whose room is
// reserved, not touched).
class UiLinkFrameParser {
 public:
  // Appends `size` bytes and moves every completed body to `bodies`. Returns
  // false once a frame has announced a length over kUiLinkMaxFrameLength;
  // the parser then stays broken and ignores further bytes.
  bool feed(const uint8_t* data, size_t size, std::vector<std::vector<uint8_t>>& bodies);

  bool broken() const { return broken_; }
  // True while part of a frame (some of its length or body) is held.
  bool insideFrame() const { return !header_.empty() || have_length_; }

 private:
  std::vector<uint8_t> header_;  // the length bytes read so far (0 to 3)
  bool have_length_ = false;
  uint32_t length_ = 0;
  std::vector<uint8_t> body_;
  bool broken_ = false;
};
