#include "tools/standard_method_codec.h"

#include "tools/standard_message_codec.h"

std::vector<uint8_t> StandardMethodCodec::EncodeMethodCall(const FlutterMethodCall& call) {
  std::vector<uint8_t> out;
  CodecWriter writer(&out);
  writer.WriteValue(EncodableValue(call.method()));
  writer.WriteValue(call.arguments());
  return out;
}

std::optional<FlutterMethodCall> StandardMethodCodec::DecodeMethodCall(
    const std::vector<uint8_t>& bytes) {
  CodecReader reader(bytes.data(), bytes.size());
  std::optional<EncodableValue> name = reader.ReadValue();
  if (!name || !std::holds_alternative<std::string>(*name)) return std::nullopt;
  std::optional<EncodableValue> arguments = reader.ReadValue();
  if (!arguments || !reader.AtEnd()) return std::nullopt;
  return FlutterMethodCall(std::get<std::string>(std::move(*name)), std::move(*arguments));
}

std::vector<uint8_t> StandardMethodCodec::EncodeSuccessEnvelope(const EncodableValue& value) {
  std::vector<uint8_t> out;
  CodecWriter writer(&out);
  writer.WriteByte(0);
  writer.WriteValue(value);
  return out;
}

std::vector<uint8_t> StandardMethodCodec::EncodeErrorEnvelope(const FlutterError& error) {
  std::vector<uint8_t> out;
  CodecWriter writer(&out);
  writer.WriteByte(1);
  writer.WriteValue(EncodableValue(error.code()));
  writer.WriteValue(error.message() ? EncodableValue(*error.message()) : EncodableValue());
  writer.WriteValue(error.details());
  return out;
}

std::vector<uint8_t> StandardMethodCodec::EncodeResult(const FlutterResultValue& result) {
  if (const auto* value = std::get_if<EncodableValue>(&result)) {
    return EncodeSuccessEnvelope(*value);
  }
  if (const auto* error = std::get_if<FlutterError>(&result)) {
    return EncodeErrorEnvelope(*error);
  }
  return {};
}

std::optional<FlutterResultValue> StandardMethodCodec::DecodeEnvelope(
    const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return FlutterResultValue(FlutterMethodNotImplemented);
  CodecReader reader(bytes.data(), bytes.size());
  uint8_t kind;
  if (!reader.ReadByte(&kind)) return std::nullopt;
  if (kind == 0) {
    std::optional<EncodableValue> value = reader.ReadValue();
    if (!value || !reader.AtEnd()) return std::nullopt;
    return FlutterResultValue(std::move(*value));
  }
  if (kind != 1) return std::nullopt;
  std::optional<EncodableValue> code = reader.ReadValue();
  std::optional<EncodableValue> message = code ? reader.ReadValue() : std::nullopt;
  std::optional<EncodableValue> details = message ? reader.ReadValue() : std::nullopt;
  if (!details || !std::holds_alternative<std::string>(*code)) return std::nullopt;
  if (!message->IsNull() && !std::holds_alternative<std::string>(*message)) return std::nullopt;
  if (!reader.AtEnd()) {
    std::optional<EncodableValue> stack_trace = reader.ReadValue();
    if (!stack_trace || !reader.AtEnd()) return std::nullopt;
    if (!stack_trace->IsNull() && !std::holds_alternative<std::string>(*stack_trace)) {
      return std::nullopt;
    }
  }
  std::optional<std::string> message_text;
  if (!message->IsNull()) message_text = std::get<std::string>(*message);
  return FlutterResultValue(FlutterError::errorWithCode(
      std::get<std::string>(*code), std::move(message_text), std::move(*details)));
}
