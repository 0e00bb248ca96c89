// The platform without a display: injected keys one per poll, the host hook, messages on
// standard error answered with OK.
#include <gtest/gtest.h>

#include <vector>

#include "glide/platform.h"

namespace {

int hookRuns = 0;
void countHookRun() {
  ++hookRuns;
}

TEST(HeadlessPlatform, ReportsInjectedKeysOnePerPollAndOtherKeysAsNone) {
  hookRuns = 0;
  setHostEventHook(countHookRun);
  for (const uint8_t key : {27, 65, 32, 32, 0, 255}) injectHeadlessKey(key);
  std::vector<uint8_t> reported;
  for (int i = 0; i < 8; ++i) reported.push_back(pollKey());
  EXPECT_EQ(reported, (std::vector<uint8_t>{27, 0, 32, 32, 0, 0, 0, 0}));
  EXPECT_EQ(hookRuns, 8);
  setHostEventHook(nullptr);
}

TEST(HeadlessPlatform, MessagesGoToStandardErrorAndAnswerOk) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(platform::showMessage("Clear All ?", "Confirm", platform::Buttons::OkCancel),
            platform::Answer::Ok);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Confirm: Clear All ?\n");
}

}  // namespace
