// The platform with a real display, through SDL2 (placeholder until the display window lands).
#include <SDL.h>

#include "glide/platform.h"

void createDisplayWindow() {}
uint8_t pollKey() { return 0; }
void destroyDisplayWindow() {}
void setHostEventHook(void (*)()) {}
void injectHeadlessKey(uint8_t) {}

namespace platform {
bool startPresentation() { return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }
void stopPresentation() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
void presentFrame(const uint16_t*, int, int) {}
Answer showNativeMessage(const std::string&, const std::string&, Buttons) { return Answer::Ok; }
}  // namespace platform
