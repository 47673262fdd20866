#include "zpl/document/printer_memory.h"

#include <glib.h>

#include <algorithm>
#include <cstdlib>

namespace corvella::zpl {
namespace {

// A printer's memory for stored objects, and how many it keeps.
constexpr size_t kMaxBytes = 64u << 20;
constexpr size_t kMaxObjects = 1000;

size_t FormatBytes(const std::vector<ZplCommand>& format) {
  size_t bytes = 0;
  for (const ZplCommand& c : format) bytes += c.code.size() + c.params.size() + 8;
  return bytes;
}

// The number of ^FN n (a prompt in quotes may follow it); -1 without one.
int FieldNumber(const ZplCommand& c) {
  if (c.params.empty() || !g_ascii_isdigit(c.params[0])) return -1;
  return static_cast<int>(std::min(std::strtol(c.params.c_str(), nullptr, 10), 9999L));
}

bool Is(const ZplCommand& c, const char* code) { return !c.control && c.code == code; }

bool IsFieldData(const ZplCommand& c) { return Is(c, "FD") || Is(c, "FV") || Is(c, "FH"); }

}  // namespace

std::string PrinterMemory::objectName(std::string_view reference, std::string_view extension) {
  const size_t colon = reference.find(':');
  std::string_view name = colon == std::string_view::npos ? reference : reference.substr(colon + 1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string out;
  for (char c : name) out.push_back(g_ascii_toupper(c));
  const size_t dot = out.find('.');
  if (dot == 0 || out.empty()) out.insert(0, "UNKNOWN");
  if (out.find('.') == std::string::npos) out += "." + std::string(extension);
  return out;
}

void PrinterMemory::drop(const std::string& name) {
  if (auto g = graphics_.find(name); g != graphics_.end()) {
    bytes_ -= g->second.ink.size() / 8;
    graphics_.erase(g);
  }
  if (auto f = formats_.find(name); f != formats_.end()) {
    bytes_ -= FormatBytes(f->second);
    formats_.erase(f);
  }
  order_.erase(std::remove(order_.begin(), order_.end(), name), order_.end());
}

void PrinterMemory::keepWithinLimits() {
  while ((bytes_ > kMaxBytes || order_.size() > kMaxObjects) && order_.size() > 1) {
    drop(order_.front());
  }
}

void PrinterMemory::storeGraphic(const std::string& name, Bitmap graphic) {
  drop(name);
  bytes_ += graphic.ink.size() / 8;
  graphics_[name] = std::move(graphic);
  order_.push_back(name);
  keepWithinLimits();
}

void PrinterMemory::storeFormat(const std::string& name, std::vector<ZplCommand> format) {
  drop(name);
  bytes_ += FormatBytes(format);
  formats_[name] = std::move(format);
  order_.push_back(name);
  keepWithinLimits();
}

const Bitmap* PrinterMemory::graphic(const std::string& name) const {
  auto it = graphics_.find(name);
  return it == graphics_.end() ? nullptr : &it->second;
}

const std::vector<ZplCommand>* PrinterMemory::format(const std::string& name) const {
  auto it = formats_.find(name);
  return it == formats_.end() ? nullptr : &it->second;
}

std::vector<const ZplCommand*> ExpandStoredFormats(const std::vector<const ZplCommand*>& label,
                                                   const PrinterMemory& memory,
                                                   std::vector<std::string>& warnings) {
  const bool recalls =
      std::any_of(label.begin(), label.end(), [](const ZplCommand* c) { return Is(*c, "XF"); });
  if (!recalls) return label;
  // The label's own fields that fill stored ones: ^FN n without an origin.
  std::map<int, std::vector<const ZplCommand*>> fills;
  std::vector<const ZplCommand*> own;
  bool positioned = false;  // the current field has ^FO or ^FT
  int filling = -1;
  for (const ZplCommand* c : label) {
    if (Is(*c, "FO") || Is(*c, "FT")) positioned = true;
    if (Is(*c, "FN") && !positioned && FieldNumber(*c) >= 0) {
      filling = FieldNumber(*c);
      fills[filling].clear();
      continue;
    }
    if (filling >= 0) {
      if (IsFieldData(*c)) {
        fills[filling].push_back(c);
        continue;
      }
      if (Is(*c, "FS")) {
        filling = -1;
        positioned = false;
        continue;
      }
    }
    if (Is(*c, "FS")) positioned = false;
    own.push_back(c);
  }
  std::vector<const ZplCommand*> out;
  for (const ZplCommand* c : own) {
    if (!Is(*c, "XF")) {
      out.push_back(c);
      continue;
    }
    const std::string name = PrinterMemory::objectName(c->params, "ZPL");
    const std::vector<ZplCommand>* format = memory.format(name);
    if (!format) {
      warnings.push_back("^XF " + name + " is not stored in the printer");
      continue;
    }
    out.push_back(c);
    // Each stored field is held until its ^FS, then given the label's data
    // for its number, or its own.
    std::vector<const ZplCommand*> field;
    int number = -1;
    auto flush = [&](const ZplCommand* end) {
      auto fill = number >= 0 ? fills.find(number) : fills.end();
      for (const ZplCommand* f : field) {
        if (fill == fills.end() || !IsFieldData(*f)) out.push_back(f);
      }
      if (fill != fills.end()) out.insert(out.end(), fill->second.begin(), fill->second.end());
      if (end) out.push_back(end);
      field.clear();
      number = -1;
    };
    for (const ZplCommand& stored : *format) {
      if (Is(stored, "XF")) continue;  // formats do not recall formats
      if (Is(stored, "FN")) number = FieldNumber(stored);
      if (Is(stored, "FS")) {
        flush(&stored);
      } else {
        field.push_back(&stored);
      }
    }
    flush(nullptr);
  }
  return out;
}

}  // namespace corvella::zpl
