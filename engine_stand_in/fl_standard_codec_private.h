#pragma once

#include <flutter_linux/flutter_linux.h>

// Stand-in internals of the codecs, for the channels and the engine. Tools
// and tests reach the codecs through the classes the public headers declare.

// Values nested deeper than this are refused as malformed, so that no
// message can exhaust the stack of the thread that decodes it.
inline constexpr int kStandardCodecMaxDepth = 512;

// The method codec's operations (what the engine and channels use).
GBytes* fl_method_codec_encode_method_call(FlMethodCodec* codec, const gchar* name, FlValue* args,
                                           GError** error);
gboolean fl_method_codec_decode_method_call(FlMethodCodec* codec, GBytes* message, gchar** name,
                                            FlValue** args, GError** error);
GBytes* fl_method_codec_encode_success_envelope(FlMethodCodec* codec, FlValue* result,
                                                GError** error);
GBytes* fl_method_codec_encode_error_envelope(FlMethodCodec* codec, const gchar* code,
                                              const gchar* message, FlValue* details,
                                              GError** error);
// An empty message decodes as not-implemented.
FlMethodResponse* fl_method_codec_decode_response(FlMethodCodec* codec, GBytes* message,
                                                  GError** error);
// Encodes whichever response it is given (not-implemented as no bytes).
GBytes* fl_method_codec_encode_response(FlMethodCodec* codec, FlMethodResponse* response,
                                        GError** error);
