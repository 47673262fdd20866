// The public interface of the app engine's Linux embedding: the part of it
// that this project's host and plug-ins use. Include only this header.
#ifndef FLUTTER_LINUX_FLUTTER_LINUX_H_
#define FLUTTER_LINUX_FLUTTER_LINUX_H_

#define __FLUTTER_LINUX_INSIDE__

#include <flutter_linux/fl_binary_messenger.h>
#include <flutter_linux/fl_dart_project.h>
#include <flutter_linux/fl_engine.h>
#include <flutter_linux/fl_message_codec.h>
#include <flutter_linux/fl_method_call.h>
#include <flutter_linux/fl_method_channel.h>
#include <flutter_linux/fl_method_codec.h>
#include <flutter_linux/fl_method_response.h>
#include <flutter_linux/fl_plugin_registrar.h>
#include <flutter_linux/fl_plugin_registry.h>
#include <flutter_linux/fl_standard_message_codec.h>
#include <flutter_linux/fl_standard_method_codec.h>
#include <flutter_linux/fl_value.h>
#include <flutter_linux/fl_view.h>

#undef __FLUTTER_LINUX_INSIDE__

#endif  // FLUTTER_LINUX_FLUTTER_LINUX_H_
