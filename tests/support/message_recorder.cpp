#include "support/message_recorder.h"

namespace testing_support {

namespace {
// The handler is a plain function, so what it records lives here; one recorder at a time.
std::vector<ShownMessage> recorded;
platform::Answer answerToGive = platform::Answer::Ok;

platform::Answer record(const std::string& text, const std::string& caption,
                        platform::Buttons buttons) {
  recorded.push_back({text, caption, buttons});
  return answerToGive;
}
}  // namespace

MessageRecorder::MessageRecorder(platform::Answer answer)
    : previous_(platform::setMessageHandler(record)) {
  recorded.clear();
  answerToGive = answer;
}

MessageRecorder::~MessageRecorder() {
  platform::setMessageHandler(previous_);
}

const std::vector<ShownMessage>& MessageRecorder::messages() const {
  return recorded;
}

void MessageRecorder::clear() {
  recorded.clear();
}

}  // namespace testing_support
