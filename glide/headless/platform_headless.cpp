// The platform without a display: frames go nowhere, keys come from injectHeadlessKey, message
// boxes are the standard-error line that showMessage writes anyway (answered with OK).
#include <deque>

#include "engine/messages.h"
#include "glide/platform.h"

namespace {
std::deque<uint8_t> pendingKeys;
void (*hostEventHook)() = nullptr;
bool refuseWindow = false;
bool windowFailed = false;
}  // namespace

bool createDisplayWindow() {
  windowFailed = refuseWindow;
  if (windowFailed) {
    platform::showMessage(kNoDisplayWindowMessage, kEngineErrorCaption);
  }
  return !windowFailed;
}

uint8_t pollKey() {
  if (hostEventHook) hostEventHook();
  if (windowFailed) return 27;
  if (pendingKeys.empty()) return 0;
  const uint8_t key = pendingKeys.front();
  pendingKeys.pop_front();
  // Only Escape and Space mean anything to the frame loops; every other key reads as none.
  return key == 27 || key == 32 ? key : 0;
}

void destroyDisplayWindow() {
  windowFailed = false;
}

void setHostEventHook(void (*hook)()) {
  hostEventHook = hook;
}

void injectHeadlessKey(uint8_t key) {
  pendingKeys.push_back(key);
}

void setDisplayWindowed(bool, const std::string&) {}
void setPlaySquare(int, int, int) {}

void refuseHeadlessDisplayWindow(bool refuse) {
  refuseWindow = refuse;
}

namespace platform {

bool startPresentation() {
  return true;
}
void stopPresentation() {}
void presentFrame(const uint16_t*, int, int) {}

Answer showNativeMessage(const std::string&, const std::string&, Buttons) {
  return Answer::Ok;
}

}  // namespace platform
