// Records the message boxes shown while it lives, answering each at once (OK, or the answer
// set), instead of letting them reach a screen.
#pragma once

#include <string>
#include <vector>

#include "glide/platform.h"

namespace testing_support {

struct ShownMessage {
  std::string text;
  std::string caption;
  platform::Buttons buttons;
};

class MessageRecorder {
 public:
  explicit MessageRecorder(platform::Answer answer = platform::Answer::Ok);
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  const std::vector<ShownMessage>& messages() const;
  void clear();

 private:
  platform::MessageHandler previous_;
};

}  // namespace testing_support
