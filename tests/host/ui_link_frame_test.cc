// Cutting the UI link's byte stream into frames, without a host.
#include <gtest/gtest.h>
#include <stand_in/ui_link_frame.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace {

std::vector<uint8_t> LengthHeader(uint32_t length) {
  std::vector<uint8_t> bytes;
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<uint8_t>(length >> shift));
  return bytes;
}

TEST(UiLinkFrameTest, CallFrameRoundTripsThroughTheParserInPiecesOfAnySize) {
  const std::vector<uint8_t> message = {0x07, 0x02, 'h', 'i', 0x00};
  const std::vector<uint8_t> frame = EncodeUiLinkCall(0xA1B2C3D4, "chännel", message);
  // u32 length, u32 id, u32 name length, the name's 8 UTF-8 bytes, the message.
  ASSERT_EQ(frame.size(), 4 + 4 + 4 + 8 + message.size());
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 8),
            (std::vector<uint8_t>{21, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1}));

  for (size_t piece : {size_t{1}, size_t{3}, size_t{7}, frame.size()}) {
    UiLinkFrameParser parser;
    std::vector<std::vector<uint8_t>> bodies;
    // Two frames back to back.
    std::vector<uint8_t> stream = frame;
    stream.insert(stream.end(), frame.begin(), frame.end());
    for (size_t offset = 0; offset < stream.size(); offset += piece) {
      ASSERT_TRUE(
          parser.feed(stream.data() + offset, std::min(piece, stream.size() - offset), bodies));
      if (offset + piece < frame.size()) {
        EXPECT_TRUE(bodies.empty());
      }
    }
    EXPECT_FALSE(parser.insideFrame());
    ASSERT_EQ(bodies.size(), 2u) << "piece " << piece;
    for (const auto& body : bodies) {
      std::optional<UiLinkCall> call = DecodeUiLinkCall(body);
      ASSERT_TRUE(call.has_value());
      EXPECT_EQ(call->id, 0xA1B2C3D4u);
      EXPECT_EQ(call->channel, "chännel");
      EXPECT_EQ(call->message, message);
    }
  }
}

TEST(UiLinkFrameTest, ReplyFrameCarriesTheIdAndTheReplyOrNothing) {
  const std::vector<uint8_t> empty_frame = EncodeUiLinkReply(7, {});
  EXPECT_EQ(empty_frame, (std::vector<uint8_t>{4, 0, 0, 0, 7, 0, 0, 0}));
  std::optional<UiLinkReply> empty =
      DecodeUiLinkReply(std::vector<uint8_t>(empty_frame.begin() + 4, empty_frame.end()));
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->id, 7u);
  EXPECT_TRUE(empty->reply.empty());

  const std::vector<uint8_t> frame = EncodeUiLinkReply(9, {0, 1});
  std::optional<UiLinkReply> reply =
      DecodeUiLinkReply(std::vector<uint8_t>(frame.begin() + 4, frame.end()));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->reply, (std::vector<uint8_t>{0, 1}));
  EXPECT_FALSE(DecodeUiLinkReply({1, 2, 3}).has_value());
}

TEST(UiLinkFrameTest, BodiesTooShortForTheirHeaderAreRejected) {
  EXPECT_FALSE(DecodeUiLinkCall({}).has_value());
  EXPECT_FALSE(DecodeUiLinkCall({1, 0, 0, 0, 0, 0, 0}).has_value());
  // A channel name longer than what follows.
  EXPECT_FALSE(DecodeUiLinkCall({1, 0, 0, 0, 3, 0, 0, 0, 'a', 'b'}).has_value());
  EXPECT_FALSE(DecodeUiLinkCall({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}).has_value());
  // An empty channel name and an empty message are well-formed.
  std::optional<UiLinkCall> call = DecodeUiLinkCall({1, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(call.has_value());
  EXPECT_TRUE(call->channel.empty());
  EXPECT_TRUE(call->message.empty());
}

TEST(UiLinkFrameTest, LengthAtTheLimitIsAcceptedAndOneMoreBreaksTheParser) {
  std::vector<std::vector<uint8_t>> bodies;
  UiLinkFrameParser at_limit;
  const std::vector<uint8_t> limit = LengthHeader(kUiLinkMaxFrameLength);
  EXPECT_TRUE(at_limit.feed(limit.data(), limit.size(), bodies));
  EXPECT_TRUE(at_limit.insideFrame());
  EXPECT_FALSE(at_limit.broken());

  UiLinkFrameParser over;
  const std::vector<uint8_t> too_long = LengthHeader(kUiLinkMaxFrameLength + 1);
  // A whole frame before the bad header is still handed out.
  std::vector<uint8_t> stream = EncodeUiLinkReply(1, {});
  stream.insert(stream.end(), too_long.begin(), too_long.end());
  stream.insert(stream.end(), 8, 0);
  EXPECT_FALSE(over.feed(stream.data(), stream.size(), bodies));
  EXPECT_TRUE(over.broken());
  EXPECT_EQ(bodies.size(), 1u);
  // Broken for good.
  const std::vector<uint8_t> more = EncodeUiLinkReply(2, {});
  EXPECT_FALSE(over.feed(more.data(), more.size(), bodies));
  EXPECT_EQ(bodies.size(), 1u);
}

// The resident memory of this process, in bytes.
size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

TEST(UiLinkFrameTest, MemoryFollowsTheBytesReceivedNotTheAnnouncedLength) {
  UiLinkFrameParser parser;
  std::vector<std::vector<uint8_t>> bodies;
  std::vector<uint8_t> stream = LengthHeader(kUiLinkMaxFrameLength);
  stream.insert(stream.end(), 100, 0xAB);
  const size_t before = ResidentBytes();
  ASSERT_TRUE(parser.feed(stream.data(), stream.size(), bodies));
  EXPECT_TRUE(bodies.empty());
  EXPECT_LE(ResidentBytes(), before + (size_t{16} << 20))
      << "a frame that announces 256 MiB and sends 100 bytes";
}

}  // namespace
