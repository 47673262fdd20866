#include "engine_stand_in/kept_message.h"

#include <mutex>
#include <unordered_map>

namespace {

// The kept messages' bytes, by where they begin, with their size.
struct KeptMessages {
  std::mutex mutex;
  std::unordered_map<const void*, gsize> sizes;
};

// Lives as long as the process: a message may go while it ends.
KeptMessages& Kept() {
  static auto* kept = new KeptMessages;
  return *kept;
}

struct Body {
  std::vector<uint8_t> bytes;
};

void ForgetMessage(gpointer data) {
  auto* body = static_cast<Body*>(data);
  {
    KeptMessages& kept = Kept();
    std::lock_guard<std::mutex> lock(kept.mutex);
    kept.sizes.erase(body->bytes.data());
  }
  delete body;
}

}  // namespace

GBytes* KeepMessage(std::vector<uint8_t>&& bytes) {
  auto* body = new Body{std::move(bytes)};
  const gsize size = body->bytes.size();
  body->bytes.push_back(0);
  {
    KeptMessages& kept = Kept();
    std::lock_guard<std::mutex> lock(kept.mutex);
    kept.sizes[body->bytes.data()] = size;
  }
  return g_bytes_new_with_free_func(body->bytes.data(), size, ForgetMessage, body);
}

bool IsKeptMessage(GBytes* message) {
  if (message == nullptr) return false;
  gsize size = 0;
  const void* data = g_bytes_get_data(message, &size);
  KeptMessages& kept = Kept();
  std::lock_guard<std::mutex> lock(kept.mutex);
  const auto entry = kept.sizes.find(data);
  return entry != kept.sizes.end() && entry->second == size;
}
