#include <stand_in/ui_link_frame.h>

#include <algorithm>
#include <new>

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

uint32_t GetU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::vector<uint8_t> EncodeUiLinkCall(uint32_t id, std::string_view channel,
                                      const std::vector<uint8_t>& message) {
  const size_t body = 8 + channel.size() + message.size();
  std::vector<uint8_t> frame;
  frame.reserve(4 + body);
  PutU32(frame, static_cast<uint32_t>(body));
  PutU32(frame, id);
  PutU32(frame, static_cast<uint32_t>(channel.size()));
  frame.insert(frame.end(), channel.begin(), channel.end());
  frame.insert(frame.end(), message.begin(), message.end());
  return frame;
}

std::vector<uint8_t> EncodeUiLinkReply(uint32_t id, const std::vector<uint8_t>& reply) {
  std::vector<uint8_t> frame;
  frame.reserve(8 + reply.size());
  PutU32(frame, static_cast<uint32_t>(4 + reply.size()));
  PutU32(frame, id);
  frame.insert(frame.end(), reply.begin(), reply.end());
  return frame;
}

std::optional<UiLinkCall> DecodeUiLinkCall(std::vector<uint8_t> body) {
  if (body.size() < 8) return std::nullopt;
  const uint32_t channel_length = GetU32(body.data() + 4);
  if (channel_length > body.size() - 8) return std::nullopt;
  UiLinkCall call;
  call.id = GetU32(body.data());
  const auto channel_begin = body.begin() + 8;
  const auto channel_end = channel_begin + static_cast<std::ptrdiff_t>(channel_length);
  call.channel.assign(channel_begin, channel_end);
  // The message is the rest of the body: shifted down in place rather than
  // copied, so a large message is never held twice.
  body.erase(body.begin(), channel_end);
  call.message = std::move(body);
  return call;
}

std::optional<UiLinkReply> DecodeUiLinkReply(const std::vector<uint8_t>& body) {
  if (body.size() < 4) return std::nullopt;
  UiLinkReply reply;
  reply.id = GetU32(body.data());
  reply.reply.assign(body.begin() + 4, body.end());
  return reply;
}

bool UiLinkFrameParser::feed(const uint8_t* data, size_t size,
                             std::vector<std::vector<uint8_t>>& bodies) {
  // A body starts with room for its first step. Once it outgrows that, it
  // gets the room its frame announces at once, so a large body is received
  // without being copied again and again to grow (copies that would stay in
  // the heap after they are freed). That room is only reserved: pages the
  // input never fills are never touched, so a frame that announces much and
  // sends little costs address space, not memory. Should even the address
  // space be refused, the body grows by doubling as bytes arrive instead.
  constexpr size_t kGrowthStep = size_t{1} << 20;
  while (!broken_ && size > 0) {
    if (!have_length_) {
      const size_t take = std::min(size, size_t{4} - header_.size());
      header_.insert(header_.end(), data, data + take);
      data += take;
      size -= take;
      if (header_.size() < 4) break;
      length_ = GetU32(header_.data());
      header_.clear();
      if (length_ > kUiLinkMaxFrameLength) {
        broken_ = true;
        break;
      }
      have_length_ = true;
      body_.clear();
      body_.reserve(std::min<size_t>(length_, kGrowthStep));
    }
    const size_t take = std::min(size, size_t{length_} - body_.size());
    if (body_.capacity() < body_.size() + take) {
      try {
        body_.reserve(length_);
      } catch (const std::bad_alloc&) {
        body_.reserve(
            std::min<size_t>(length_, std::max(body_.size() + take, body_.capacity() * 2)));
      }
    }
    body_.insert(body_.end(), data, data + take);
    data += take;
    size -= take;
    if (body_.size() == length_) {
      bodies.push_back(std::move(body_));
      body_ = {};
      have_length_ = false;
    }
  }
  return !broken_;
}
