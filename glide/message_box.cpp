#include <cstdio>

#include "glide/platform.h"

namespace platform {

namespace {
MessageHandler installedHandler = nullptr;
}

MessageHandler setMessageHandler(MessageHandler handler) {
  MessageHandler previous = installedHandler;
  installedHandler = handler;
  return previous;
}

Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (installedHandler) return installedHandler(text, caption, buttons);
  return showNativeMessage(text, caption, buttons);
}

}  // namespace platform
