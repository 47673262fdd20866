// The standard codec of the engine stand-in against the app engine's own
// byte vectors and format rules: what the user interface sends and reads.
#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include "tools/channel_values.h"
#include "tools/json_values.h"

namespace corvella {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(GBytes* bytes) {
  gsize size = 0;
  const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(bytes, &size));
  return Bytes(data, data + size);
}

// `value` in the standard codec, or in `codec` when one is given.
Bytes Encode(const Value& value, FlMessageCodec* codec = nullptr) {
  g_autoptr(FlStandardMessageCodec) standard = fl_standard_message_codec_new();
  g_autoptr(GBytes) bytes = fl_message_codec_encode_message(
      codec != nullptr ? codec : FL_MESSAGE_CODEC(standard), value.get(), nullptr);
  EXPECT_NE(bytes, nullptr);
  return bytes != nullptr ? ToBytes(bytes) : Bytes{};
}

// Decodes `bytes` from a copy of exactly their size, so that AddressSanitizer
// reports any read past the end.
std::optional<Value> Decode(const Bytes& bytes, FlMessageCodec* codec = nullptr) {
  g_autoptr(FlStandardMessageCodec) standard = fl_standard_message_codec_new();
  if (codec == nullptr) codec = FL_MESSAGE_CODEC(standard);
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  g_autoptr(GBytes) message = g_bytes_new_static(copy.get(), bytes.size());
  g_autoptr(GError) error = nullptr;
  FlValue* value = fl_message_codec_decode_message(codec, message, &error);
  if (value == nullptr) {
    EXPECT_NE(error, nullptr) << "a refusal says why";
    return std::nullopt;
  }
  return Value::take(value);
}

// The code of the error that decoding `bytes` fails with; -1 when it decodes.
int DecodeErrorCode(const Bytes& bytes) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
  g_autoptr(GError) error = nullptr;
  g_autoptr(FlValue) value =
      fl_message_codec_decode_message(FL_MESSAGE_CODEC(codec), message, &error);
  if (value != nullptr || error == nullptr || error->domain != FL_MESSAGE_CODEC_ERROR) return -1;
  return error->code;
}

TEST(FlValue, WritesFloatsAsTheEngineDoes) {
  auto text = [](const Value& value) -> std::string {
    g_autofree gchar* written = fl_value_to_string(value.get());
    return written;
  };
  EXPECT_EQ(text(1.0), "1.0");
  EXPECT_EQ(text(0.1), "0.1");
  EXPECT_EQ(text(-2.5), "-2.5");
  const double floats[] = {0.0, -0.5, 3.141592653589793};
  EXPECT_EQ(text(Value::take(fl_value_new_float_list(floats, 3))),
            "[0.0, -0.5, 3.1415926535897931]");
  EXPECT_EQ(text(ListValue({1.0, 2})), "[1.0, 2]");
}

TEST(StandardMessageCodec, MatchesTheEnginesByteVectors) {
  // The engine's own vector for pi (0x400921FB54442D18).
  EXPECT_EQ(Encode(3.141592653589793),
            (Bytes{0x06, 0, 0, 0, 0, 0, 0, 0, 0x18, 0x2d, 0x44, 0x54, 0xfb, 0x21, 0x09, 0x40}));
  // One integer type, written in 32 bits whenever it fits.
  EXPECT_EQ(Encode(0x12345678), (Bytes{0x03, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Encode(-2), (Bytes{0x03, 0xfe, 0xff, 0xff, 0xff}));
  EXPECT_EQ(Encode(int64_t{INT32_MIN}), (Bytes{0x03, 0x00, 0x00, 0x00, 0x80}));
  EXPECT_EQ(Encode(int64_t{INT32_MAX} + 1), (Bytes{0x04, 0x00, 0x00, 0x00, 0x80, 0, 0, 0, 0}));
  EXPECT_EQ(Encode(Value()), (Bytes{0x00}));
  EXPECT_EQ(Encode(true), (Bytes{0x01}));
  EXPECT_EQ(Encode(false), (Bytes{0x02}));
  EXPECT_EQ(Encode("hé"), (Bytes{0x07, 0x03, 'h', 0xc3, 0xa9}));
  EXPECT_EQ(Encode(ListValue({"a", true})), (Bytes{0x0c, 0x02, 0x07, 0x01, 'a', 0x01}));
  EXPECT_EQ(Encode(MapValue({{"k", Value()}})), (Bytes{0x0d, 0x01, 0x07, 0x01, 'k', 0x00}));
  EXPECT_EQ(EncodeMethodCall("hello", nullptr), (Bytes{0x07, 0x05, 'h', 'e', 'l', 'l', 'o', 0x00}));
}

TEST(StandardMessageCodec, SizeEncodingsAtEveryBoundary) {
  struct Case {
    size_t size;
    Bytes prefix;
  };
  for (const Case& c :
       {Case{253, {0x07, 253}}, Case{254, {0x07, 254, 254, 0}},
        Case{65535, {0x07, 254, 0xff, 0xff}}, Case{65536, {0x07, 255, 0x00, 0x00, 0x01, 0x00}}}) {
    const std::string text(c.size, 'x');
    const Bytes encoded = Encode(text);
    ASSERT_EQ(encoded.size(), c.prefix.size() + c.size) << c.size;
    EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + static_cast<long>(c.prefix.size())),
              c.prefix)
        << c.size;
    std::optional<Value> decoded = Decode(encoded);
    ASSERT_TRUE(decoded) << c.size;
    EXPECT_EQ(std::string(fl_value_get_string(decoded->get())), text);
  }
}

TEST(StandardMessageCodec, AlignsPaddingToTheStartOfTheMessage) {
  // A list whose first element pushes the double (or typed list) to every
  // possible offset: the padding must depend on the absolute position.
  for (size_t prefix = 0; prefix < 9; ++prefix) {
    const int32_t int32s[] = {7, -7};
    const int64_t int64s[] = {1};
    const float floats[] = {1.5f};
    const Value list =
        ListValue({std::string(prefix, 'p'), 0.5, Value::take(fl_value_new_int32_list(int32s, 2)),
                   Value::take(fl_value_new_float_list(nullptr, 0)),
                   Value::take(fl_value_new_int64_list(int64s, 1)),
                   Value::take(fl_value_new_float32_list(floats, 1))});
    const Bytes encoded = Encode(list);
    // 0x0c, count, 0x07, size, prefix bytes, then the double's tag.
    const size_t tag_at = 4 + prefix;
    ASSERT_EQ(encoded[tag_at], 0x06);
    const size_t value_at = (tag_at + 1 + 7) / 8 * 8;
    for (size_t i = tag_at + 1; i < value_at; ++i) EXPECT_EQ(encoded[i], 0) << "padding " << i;
    double d;
    std::memcpy(&d, &encoded[value_at], sizeof d);
    EXPECT_EQ(d, 0.5) << "prefix " << prefix;
    std::optional<Value> decoded = Decode(encoded);
    ASSERT_TRUE(decoded) << "prefix " << prefix;
    EXPECT_TRUE(fl_value_equal(decoded->get(), list.get())) << "prefix " << prefix;
  }
}

TEST(StandardMessageCodec, RoundTripsEveryKindAndReadsLargeIntegersAsText) {
  const int64_t int64s[] = {INT64_MIN};
  const double nan[] = {NAN};
  const Value all =
      ListValue({Value(), true, -1, int64_t{1} << 40, -0.0, std::string("\0a", 2),
                 std::vector<uint8_t>{0, 255}, Value::take(fl_value_new_int32_list(nullptr, 0)),
                 Value::take(fl_value_new_int64_list(int64s, 1)),
                 Value::take(fl_value_new_float_list(nan, 1)),
                 Value::take(fl_value_new_float32_list(nullptr, 0)),
                 MapValue({{1, ListValue({})}, {"x", Value()}})});
  std::optional<Value> decoded = Decode(Encode(all));
  ASSERT_TRUE(decoded);
  // NaN never equals itself, so compare the bytes written again.
  EXPECT_EQ(Encode(*decoded), Encode(all));

  decoded = Decode({0x05, 0x03, '1', '2', '3'});
  ASSERT_TRUE(decoded);
  EXPECT_STREQ(fl_value_get_string(decoded->get()), "123");
}

TEST(StandardMessageCodec, RejectsEveryMalformedInput) {
  const Bytes valid = Encode(ListValue({"name", 2.5, MapValue({{"k", 9}})}));
  // Every strict prefix of a valid message is a truncation, but for the
  // empty message, which is a null value.
  for (size_t cut = 1; cut < valid.size(); ++cut) {
    EXPECT_FALSE(Decode(Bytes(valid.begin(), valid.begin() + static_cast<long>(cut))))
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
    EXPECT_FALSE(Decode(bytes)) << "bytes starting " << int(bytes[0]);
  }
  std::optional<Value> empty = Decode({});
  EXPECT_TRUE(empty && fl_value_get_type(empty->get()) == FL_VALUE_TYPE_NULL);
  EXPECT_EQ(DecodeErrorCode({0x0f}), FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(DecodeErrorCode({0x01, 0x01}), FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA);
  // Nesting too deep is refused instead of overflowing the stack.
  Bytes deep(1'000'000, 0x0c);
  for (size_t i = 1; i < deep.size(); i += 2) deep[i] = 0x01;
  EXPECT_FALSE(Decode(deep));
  Bytes shallow;
  for (int i = 0; i < 100; ++i) shallow.insert(shallow.end(), {0x0c, 0x01});
  shallow.push_back(0x00);
  EXPECT_TRUE(Decode(shallow));
}

// A codec of a plug-in's own that carries one more type (tag 128, a text
// written with a marker) by the class hooks, as the engine documents them.
constexpr uint8_t kMarkedTag = 128;
constexpr char kMarker[] = "marked:";

G_DECLARE_FINAL_TYPE(MarkedCodec, marked_codec, TEST, MARKED_CODEC, FlStandardMessageCodec)
struct _MarkedCodec {
  FlStandardMessageCodec parent_instance;
};
G_DEFINE_TYPE(MarkedCodec, marked_codec, fl_standard_message_codec_get_type())

gboolean MarkedWriteValue(FlStandardMessageCodec* codec, GByteArray* buffer, FlValue* value,
                          GError** error) {
  if (fl_value_get_type(value) == FL_VALUE_TYPE_STRING &&
      g_str_has_prefix(fl_value_get_string(value), kMarker)) {
    const uint8_t tag = kMarkedTag;
    g_byte_array_append(buffer, &tag, 1);
    g_autoptr(FlValue) rest = fl_value_new_string(fl_value_get_string(value) + strlen(kMarker));
    return FL_STANDARD_MESSAGE_CODEC_CLASS(marked_codec_parent_class)
        ->write_value(codec, buffer, rest, error);
  }
  return FL_STANDARD_MESSAGE_CODEC_CLASS(marked_codec_parent_class)
      ->write_value(codec, buffer, value, error);
}

FlValue* MarkedReadValueOfType(FlStandardMessageCodec* codec, GBytes* buffer, size_t* offset,
                               int type, GError** error) {
  if (type != kMarkedTag) {
    return FL_STANDARD_MESSAGE_CODEC_CLASS(marked_codec_parent_class)
        ->read_value_of_type(codec, buffer, offset, type, error);
  }
  g_autoptr(FlValue) rest = fl_standard_message_codec_read_value(codec, buffer, offset, error);
  if (rest == nullptr) return nullptr;
  g_autofree gchar* text = g_strconcat(kMarker, fl_value_get_string(rest), nullptr);
  return fl_value_new_string(text);
}

void marked_codec_class_init(MarkedCodecClass* klass) {
  FL_STANDARD_MESSAGE_CODEC_CLASS(klass)->write_value = MarkedWriteValue;
  FL_STANDARD_MESSAGE_CODEC_CLASS(klass)->read_value_of_type = MarkedReadValueOfType;
}
void marked_codec_init(MarkedCodec*) {}

TEST(StandardMessageCodec, ASubclassSeesEveryValueAtEveryDepth) {
  g_autoptr(MarkedCodec) codec = TEST_MARKED_CODEC(g_object_new(marked_codec_get_type(), nullptr));
  const Value message = ListValue({"marked:a", MapValue({{"k", ListValue({"marked:b"})}})});
  const Bytes encoded = Encode(message, FL_MESSAGE_CODEC(codec));
  EXPECT_EQ(encoded, (Bytes{0x0c, 0x02, kMarkedTag, 0x07, 0x01, 'a', 0x0d, 0x01, 0x07, 0x01, 'k',
                            0x0c, 0x01, kMarkedTag, 0x07, 0x01, 'b'}));
  std::optional<Value> decoded = Decode(encoded, FL_MESSAGE_CODEC(codec));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(fl_value_equal(decoded->get(), message.get()));
  // The standard codec knows no such tag.
  EXPECT_FALSE(Decode(encoded));
}

TEST(StandardMethodCodec, DecodesCallsAndRejectsWhatIsNotACall) {
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  auto decodes = [&codec](const Bytes& bytes) -> std::optional<std::string> {
    g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
    g_autofree gchar* name = nullptr;
    g_autoptr(FlValue) args = nullptr;
    if (!FL_METHOD_CODEC_GET_CLASS(codec)->decode_method_call(FL_METHOD_CODEC(codec), message,
                                                              &name, &args, nullptr)) {
      return std::nullopt;
    }
    return std::string(name) + " " + ToJson(args);
  };
  EXPECT_EQ(decodes(EncodeMethodCall("connectToPrinter", MapValue({{"printerName", "Q"}}).get())),
            R"(connectToPrinter {"printerName":"Q"})");
  for (const Bytes& not_a_call : {Bytes{}, Bytes{0x03, 1, 0, 0, 0, 0x00},  // name not text
                                  Bytes{0x07, 0x01, 'a'},                  // no arguments value
                                  Bytes{0x07, 0x01, 'a', 0x00, 0x00}}) {   // trailing
    EXPECT_FALSE(decodes(not_a_call));
  }
}

TEST(StandardMethodCodec, EnvelopesMatchTheFormatWithNothingAfterThem) {
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  FlMethodCodecClass* operations = FL_METHOD_CODEC_GET_CLASS(codec);
  g_autoptr(GBytes) error_bytes = operations->encode_error_envelope(
      FL_METHOD_CODEC(codec), "NO_PRINTER", "No printer connected", nullptr, nullptr);
  Bytes error{0x01, 0x07, 10};
  for (char c : std::string("NO_PRINTER")) error.push_back(static_cast<uint8_t>(c));
  error.insert(error.end(), {0x07, 20});
  for (char c : std::string("No printer connected")) error.push_back(static_cast<uint8_t>(c));
  error.push_back(0x00);
  EXPECT_EQ(ToBytes(error_bytes), error);
  g_autoptr(FlValue) answer = fl_value_new_int(42);
  g_autoptr(GBytes) success =
      operations->encode_success_envelope(FL_METHOD_CODEC(codec), answer, nullptr);
  EXPECT_EQ(ToBytes(success), (Bytes{0x00, 0x03, 0x2a, 0x00, 0x00, 0x00}));

  // The error code that decoding a reply fails with; -1 when it decodes.
  auto refusal = [&codec, operations](const Bytes& bytes) -> int {
    g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
    g_autoptr(GError) failure = nullptr;
    g_autoptr(FlMethodResponse) response =
        operations->decode_response(FL_METHOD_CODEC(codec), message, &failure);
    if (response != nullptr || failure == nullptr) return -1;
    return failure->domain == FL_MESSAGE_CODEC_ERROR ? failure->code : -2;
  };
  auto reads = [](const Bytes& bytes) -> std::string {
    g_autoptr(FlMethodResponse) response = DecodeReply(bytes);
    return response != nullptr ? ToJson(response) : "<refused>";
  };
  EXPECT_EQ(reads(error),
            R"({"error":{"code":"NO_PRINTER","message":"No printer connected","details":null}})");
  g_autoptr(FlMethodResponse) decoded = DecodeReply(error);
  EXPECT_EQ(fl_method_error_response_get_details(FL_METHOD_ERROR_RESPONSE(decoded)), nullptr)
      << "null details decode as no details";
  g_autoptr(FlMethodErrorResponse) made = fl_method_error_response_new("C", nullptr, nullptr);
  EXPECT_EQ(fl_method_error_response_get_details(made), nullptr);

  // Nothing may follow a reply's value, not even a stack trace.
  Bytes with_trace = error;
  with_trace.insert(with_trace.end(), {0x07, 0x02, 'a', 't'});
  EXPECT_EQ(refusal(with_trace), FL_MESSAGE_CODEC_ERROR_FAILED);
  EXPECT_EQ(refusal({0x00, 0x00, 0x00}), FL_MESSAGE_CODEC_ERROR_FAILED);
  EXPECT_EQ(refusal({0x02}), FL_MESSAGE_CODEC_ERROR_FAILED);
  EXPECT_EQ(reads({}), R"({"notImplemented":true})");
  EXPECT_EQ(reads({0x01, 0x03, 1, 0, 0, 0, 0x00, 0x00}), "<refused>");
}

}  // namespace
}  // namespace corvella
