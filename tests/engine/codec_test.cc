// The standard codec on both sides of the channel: the host's (FlValue) and
// the user interface's (corvella-call's). Both must agree byte for byte with
// the app engine's format and with each other, and refuse the same inputs.
#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/fl_standard_codec_private.h"
#include "tests/support/channel_harness.h"
#include "tools/standard_message_codec.h"
#include "tools/standard_method_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;
using corvella::testing::Describe;

Bytes ToBytes(GBytes* bytes) {
  gsize size = 0;
  const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(bytes, &size));
  return Bytes(data, data + size);
}

// The host's encoding of `value`.
Bytes HostEncode(FlValue* value) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(GBytes) bytes =
      fl_message_codec_encode_message(FL_MESSAGE_CODEC(codec), value, nullptr);
  return ToBytes(bytes);
}

// The host decodes `bytes` (from a copy of exactly their size, so that
// AddressSanitizer reports any read past the end) and encodes the value again.
std::optional<Bytes> HostReencode(const Bytes& bytes) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
  g_autoptr(GError) error = nullptr;
  g_autoptr(FlValue) value =
      fl_message_codec_decode_message(FL_MESSAGE_CODEC(codec), message, &error);
  if (value == nullptr) {
    EXPECT_NE(error, nullptr) << "a refusal says why";
    return std::nullopt;
  }
  return HostEncode(value);
}

Bytes Encode(const EncodableValue& value) { return StandardMessageCodec::Encode(value); }

// Decodes `bytes` on both sides; they must agree on whether the bytes are a
// message and, when they are, on what it says.
std::optional<EncodableValue> DecodeExact(const Bytes& bytes) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  std::optional<EncodableValue> ui = StandardMessageCodec::Decode(copy.get(), bytes.size());
  std::optional<Bytes> host = HostReencode(bytes);
  EXPECT_EQ(ui.has_value(), host.has_value()) << "the two sides disagree on a message";
  if (ui && host) {
    EXPECT_EQ(*host, Encode(*ui));
  }
  return ui;
}

TEST(StandardMessageCodec, MatchesTheEnginesByteVectors) {
  // The engine's own vector for pi (0x400921FB54442D18).
  EXPECT_EQ(Encode(3.141592653589793),
            (Bytes{0x06, 0, 0, 0, 0, 0, 0, 0, 0x18, 0x2d, 0x44, 0x54, 0xfb, 0x21, 0x09, 0x40}));
  EXPECT_EQ(Encode(int32_t{0x12345678}), (Bytes{0x03, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Encode(int64_t{-2}), (Bytes{0x04, 0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(Encode(EncodableValue()), (Bytes{0x00}));
  EXPECT_EQ(Encode(true), (Bytes{0x01}));
  EXPECT_EQ(Encode(false), (Bytes{0x02}));
  EXPECT_EQ(Encode("hé"), (Bytes{0x07, 0x03, 'h', 0xc3, 0xa9}));
  EXPECT_EQ(Encode(EncodableList{EncodableValue("a"), EncodableValue(true)}),
            (Bytes{0x0c, 0x02, 0x07, 0x01, 'a', 0x01}));
  EXPECT_EQ(Encode(EncodableMap{{EncodableValue("k"), EncodableValue()}}),
            (Bytes{0x0d, 0x01, 0x07, 0x01, 'k', 0x00}));
  EXPECT_EQ(StandardMethodCodec::EncodeMethodCall(FlutterMethodCall("hello", EncodableValue())),
            (Bytes{0x07, 0x05, 'h', 'e', 'l', 'l', 'o', 0x00}));
  EXPECT_EQ(StandardMethodCodec::EncodeSuccessEnvelope(int32_t{42}),
            (Bytes{0x00, 0x03, 0x2a, 0x00, 0x00, 0x00}));

  // The host writes its one integer type in 32 bits whenever it fits.
  g_autoptr(FlValue) pi = fl_value_new_float(3.141592653589793);
  EXPECT_EQ(HostEncode(pi), Encode(3.141592653589793));
  g_autoptr(FlValue) small = fl_value_new_int(-2);
  EXPECT_EQ(HostEncode(small), (Bytes{0x03, 0xfe, 0xff, 0xff, 0xff}));
  g_autoptr(FlValue) edge = fl_value_new_int(INT32_MIN);
  EXPECT_EQ(HostEncode(edge), (Bytes{0x03, 0x00, 0x00, 0x00, 0x80}));
  g_autoptr(FlValue) large = fl_value_new_int(int64_t{INT32_MAX} + 1);
  EXPECT_EQ(HostEncode(large), (Bytes{0x04, 0x00, 0x00, 0x00, 0x80, 0, 0, 0, 0}));
  g_autoptr(FlValue) map = fl_value_new_map();
  fl_value_set_string_take(map, "connected", fl_value_new_bool(true));
  fl_value_set_string_take(map, "printerName", fl_value_new_string("hé"));
  EXPECT_EQ(HostEncode(map), Encode(EncodableMap{{"connected", true}, {"printerName", "hé"}}));

  g_autoptr(FlStandardMethodCodec) method_codec = fl_standard_method_codec_new();
  g_autoptr(FlValue) answer = fl_value_new_int(42);
  g_autoptr(GBytes) success =
      fl_method_codec_encode_success_envelope(FL_METHOD_CODEC(method_codec), answer, nullptr);
  EXPECT_EQ(ToBytes(success), (Bytes{0x00, 0x03, 0x2a, 0x00, 0x00, 0x00}));
}

TEST(StandardMessageCodec, SizeEncodingsAtEveryBoundary) {
  struct Case {
    size_t size;
    Bytes prefix;
  };
  for (const Case& c :
       {Case{253, {0x07, 253}}, Case{254, {0x07, 254, 254, 0}},
        Case{65535, {0x07, 254, 0xff, 0xff}}, Case{65536, {0x07, 255, 0x00, 0x00, 0x01, 0x00}}}) {
    std::string text(c.size, 'x');
    Bytes encoded = Encode(text);
    ASSERT_EQ(encoded.size(), c.prefix.size() + c.size) << c.size;
    EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + static_cast<long>(c.prefix.size())),
              c.prefix)
        << c.size;
    std::optional<EncodableValue> decoded = DecodeExact(encoded);
    ASSERT_TRUE(decoded) << c.size;
    EXPECT_EQ(std::get<std::string>(*decoded), text);
  }
}

TEST(StandardMessageCodec, AlignsPaddingToTheStartOfTheMessage) {
  // A list whose first element pushes the double (or typed list) to every
  // possible offset: the padding must depend on the absolute position.
  for (size_t prefix = 0; prefix < 9; ++prefix) {
    EncodableList list{
        EncodableValue(std::string(prefix, 'p')),    EncodableValue(0.5),
        EncodableValue(std::vector<int32_t>{7, -7}), EncodableValue(std::vector<double>{}),
        EncodableValue(std::vector<int64_t>{1}),     EncodableValue(std::vector<float>{1.5f})};
    Bytes encoded = Encode(list);
    // 0x0c, count, 0x07, size, prefix bytes, then the double's tag.
    size_t tag_at = 4 + prefix;
    ASSERT_EQ(encoded[tag_at], 0x06);
    size_t value_at = (tag_at + 1 + 7) / 8 * 8;
    for (size_t i = tag_at + 1; i < value_at; ++i) EXPECT_EQ(encoded[i], 0) << "padding " << i;
    double d;
    std::memcpy(&d, &encoded[value_at], sizeof d);
    EXPECT_EQ(d, 0.5) << "prefix " << prefix;
    std::optional<EncodableValue> decoded = DecodeExact(encoded);
    ASSERT_TRUE(decoded) << "prefix " << prefix;
    EXPECT_EQ(*decoded, EncodableValue(list)) << "prefix " << prefix;
  }
}

TEST(StandardMessageCodec, RoundTripsEveryKind) {
  EncodableMap nested{{EncodableValue(int32_t{1}), EncodableValue(EncodableList{})},
                      {EncodableValue("x"), EncodableValue(std::vector<uint8_t>{0, 255})}};
  EncodableList all{EncodableValue(),
                    EncodableValue(true),
                    EncodableValue(int32_t{-1}),
                    EncodableValue(int64_t{1} << 40),
                    EncodableValue(-0.0),
                    EncodableValue(std::string("\0a", 2)),
                    EncodableValue(std::vector<uint8_t>{}),
                    EncodableValue(std::vector<int32_t>{}),
                    EncodableValue(std::vector<int64_t>{INT64_MIN}),
                    EncodableValue(std::vector<double>{NAN}),
                    EncodableValue(std::vector<float>{}),
                    EncodableValue(nested)};
  std::optional<EncodableValue> decoded = DecodeExact(Encode(all));
  ASSERT_TRUE(decoded);
  // NaN never equals itself, so compare the re-encoded bytes.
  EXPECT_EQ(Encode(*decoded), Encode(all));
}

TEST(StandardMessageCodec, ReadsLargeIntegersAsText) {
  std::optional<EncodableValue> decoded = DecodeExact({0x05, 0x03, '1', '2', '3'});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(std::get<std::string>(*decoded), "123");
}

TEST(StandardMessageCodec, RejectsEveryMalformedInput) {
  const Bytes valid = Encode(EncodableList{
      EncodableValue("name"), EncodableValue(2.5), EncodableValue(std::vector<int64_t>{1, 2}),
      EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(int32_t{9})}})});
  // Every strict prefix of a valid message is a truncation.
  for (size_t cut = 0; cut < valid.size(); ++cut) {
    EXPECT_FALSE(DecodeExact(Bytes(valid.begin(), valid.begin() + static_cast<long>(cut))))
        << "prefix of " << cut << " bytes";
  }
  const std::vector<Bytes> malformed = {
      {0x0f},                                // unknown tag
      {0xff},                                // unknown tag
      {0x07, 0x05, 'a'},                     // string size past the end
      {0x07, 0xfe, 0xff},                    // truncated two-byte size
      {0x07, 0xff, 0xff, 0xff, 0xff, 0x7f},  // four-byte size far past the end
      {0x08, 0xff, 0xff, 0xff, 0xff, 0xff},  // byte list past the end
      {0x0b, 0x02, 0, 0, 0, 0, 0, 0, 1, 2},  // float64 list short of its elements
      {0x0c, 0xff, 0xff, 0xff, 0xff, 0xff},  // list count past the end
      {0x0d, 0x01, 0x07, 0x01, 'k'},         // map with a missing value
      {0x0d, 0x02, 0x00, 0x00},              // map with a missing pair
      {0x03, 0x01, 0x02},                    // truncated int32
      {0x06, 0x00, 0x00},                    // truncated padding of a double
      {0x01, 0x01},                          // trailing byte after a value
  };
  for (const Bytes& bytes : malformed) {
    EXPECT_FALSE(DecodeExact(bytes)) << "bytes starting " << int(bytes[0]);
  }
}

TEST(StandardMessageCodec, RejectsNestingTooDeepInsteadOfOverflowingTheStack) {
  Bytes deep(1'000'000, 0x0c);
  for (size_t i = 1; i < deep.size(); i += 2) deep[i] = 0x01;
  EXPECT_FALSE(DecodeExact(deep));
  Bytes shallow;
  for (int i = 0; i < 100; ++i) shallow.insert(shallow.end(), {0x0c, 0x01});
  shallow.push_back(0x00);
  EXPECT_TRUE(DecodeExact(shallow));
}

TEST(StandardMethodCodec, DecodesCallsAndRejectsWhatIsNotACall) {
  Bytes call = StandardMethodCodec::EncodeMethodCall(
      FlutterMethodCall("connectToPrinter", EncodableMap{{"printerName", "Q"}}));
  std::optional<FlutterMethodCall> decoded = StandardMethodCodec::DecodeMethodCall(call);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->method(), "connectToPrinter");
  EXPECT_EQ(Describe(decoded->arguments()), R"({"printerName":"Q"})");

  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  auto host_decodes = [&codec](const Bytes& bytes, std::string* name_out = nullptr) {
    g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
    g_autofree gchar* name = nullptr;
    g_autoptr(FlValue) args = nullptr;
    const bool ok =
        fl_method_codec_decode_method_call(FL_METHOD_CODEC(codec), message, &name, &args, nullptr);
    if (ok && name_out != nullptr) {
      g_autofree gchar* text = fl_value_to_string(args);
      *name_out = std::string(name) + " " + text;
    }
    return ok;
  };
  std::string host_call;
  EXPECT_TRUE(host_decodes(call, &host_call));
  EXPECT_EQ(host_call, "connectToPrinter {printerName: Q}");

  for (const Bytes& not_a_call : {Bytes{}, Bytes{0x03, 1, 0, 0, 0, 0x00},  // name not text
                                  Bytes{0x07, 0x01, 'a'},                  // no arguments value
                                  Bytes{0x07, 0x01, 'a', 0x00, 0x00}}) {   // trailing
    EXPECT_FALSE(StandardMethodCodec::DecodeMethodCall(not_a_call));
    EXPECT_FALSE(host_decodes(not_a_call));
  }
}

TEST(StandardMethodCodec, EnvelopesRoundTripAndTolerateAStackTrace) {
  Bytes error = StandardMethodCodec::EncodeErrorEnvelope(
      FlutterError::errorWithCode("NO_PRINTER", "No printer connected", EncodableValue()));
  Bytes expected{0x01, 0x07, 10};
  for (char c : std::string("NO_PRINTER")) expected.push_back(static_cast<uint8_t>(c));
  expected.insert(expected.end(), {0x07, 20});
  for (char c : std::string("No printer connected")) expected.push_back(static_cast<uint8_t>(c));
  expected.push_back(0x00);
  EXPECT_EQ(error, expected);
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(GBytes) host_error = fl_method_codec_encode_error_envelope(
      FL_METHOD_CODEC(codec), "NO_PRINTER", "No printer connected", nullptr, nullptr);
  EXPECT_EQ(ToBytes(host_error), expected);
  auto host_reads = [&codec](const Bytes& bytes) {
    g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
    g_autoptr(FlMethodResponse) response =
        fl_method_codec_decode_response(FL_METHOD_CODEC(codec), message, nullptr);
    return response != nullptr;
  };

  auto decoded = StandardMethodCodec::DecodeEnvelope(error);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(Describe(*decoded), R"({"error":{"code":"NO_PRINTER","message":"No printer connected","details":null}})");

  Bytes with_trace = error;
  with_trace.insert(with_trace.end(), {0x07, 0x02, 'a', 't'});
  EXPECT_TRUE(StandardMethodCodec::DecodeEnvelope(with_trace));
  EXPECT_TRUE(host_reads(with_trace));
  with_trace.push_back(0x00);
  EXPECT_FALSE(StandardMethodCodec::DecodeEnvelope(with_trace));
  EXPECT_FALSE(host_reads(with_trace));
  EXPECT_FALSE(host_reads({0x02, 0x00}));
  EXPECT_FALSE(host_reads({0x01, 0x03, 1, 0, 0, 0, 0x00, 0x00}));

  EXPECT_EQ(Describe(*StandardMethodCodec::DecodeEnvelope({})), R"({"notImplemented":true})");
  EXPECT_EQ(StandardMethodCodec::EncodeResult(FlutterMethodNotImplemented), Bytes{});
  EXPECT_FALSE(StandardMethodCodec::DecodeEnvelope({0x02, 0x00}));
  EXPECT_FALSE(StandardMethodCodec::DecodeEnvelope({0x01, 0x03, 1, 0, 0, 0, 0x00, 0x00}));
}

}  // namespace
