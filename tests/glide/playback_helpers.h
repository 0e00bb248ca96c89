// What the playback tests share: engines with pictures, a message recorder, and reading the
// recorded Glide calls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "glide/call_log.h"
#include "glide/platform.h"

namespace playback_test {

// Adds `count` pictures of one colour each (picture k has colour 0x0841 * (k + 1)).
inline void addPictures(MorphEngine& engine, int count) {
  for (int k = 0; k < count; ++k) {
    auto image = std::make_unique<PictureImage>();
    for (uint16_t& pixel : image->pixels) pixel = static_cast<uint16_t>(0x0841 * (k + 1));
    ASSERT_EQ(engine.insertPicture(std::move(image), engine.pictureCount), 0);
  }
}

// Installs itself as the message box for as long as it lives and keeps every message shown.
class MessageRecorder {
 public:
  struct Message {
    std::string text;
    std::string caption;
    bool operator==(const Message&) const = default;
  };
  MessageRecorder() {
    shown().clear();
    previous_ = platform::setMessageHandler(&record);
  }
  ~MessageRecorder() { platform::setMessageHandler(previous_); }
  const std::vector<Message>& messages() const { return shown(); }

 private:
  static std::vector<Message>& shown() {
    static std::vector<Message> messages;
    return messages;
  }
  static platform::Answer record(const std::string& text, const std::string& caption,
                                 platform::Buttons) {
    shown().push_back({text, caption});
    return platform::Answer::Ok;
  }
  platform::MessageHandler previous_ = nullptr;
};

// The recorded calls named `name`, in order.
inline std::vector<glide::GlideCall> callsNamed(const glide::CallLog& log,
                                                const std::string& name) {
  std::vector<glide::GlideCall> found;
  for (const glide::GlideCall& call : log.calls()) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

// One corner of a recorded guDrawTriangleWithClip: x, y, oow, sow, tow, tmu oow.
struct Corner {
  double x, y, oow, s, t, tmuOow;
};
inline Corner cornerOf(const glide::GlideCall& triangle, int corner) {
  const double* a = triangle.args.data() + corner * 6;
  return {a[0], a[1], a[2], a[3], a[4], a[5]};
}

}  // namespace playback_test
