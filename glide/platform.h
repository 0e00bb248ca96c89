// What the programs need of the machine they run on: a place to show the board's frames, the
// full-screen display window with its keys, and modal message boxes.
//
// Exactly one implementation is linked into each program, as an object library:
//   glide/sdl/       a real display through SDL2 (kinora, ORVANTE, the window tests);
//   glide/headless/  no display at all (kzmtool, the engine and board tests): frames go nowhere,
//                    keys come from injectHeadlessKey, messages go to standard error only.
// The board itself knows nothing of either.
#pragma once

#include <cstdint>
#include <string>

// ---- The display window and its keys -------------------------------------------------------

// Opens the borderless window titled "Rezud" that covers the desktop, black until the first
// frame. The board presents into it while it is open. False, after a message under the engine's
// caption, when no window could be made: the polls then report Escape.
bool createDisplayWindow();

// How the next display window shows itself: covering the desktop (the default) or, windowed,
// as an ordinary resizable window titled `title` (its first size the play square, or smaller
// when the screen is) that shows the play square scaled to fit with its aspect kept. F11
// switches an open display window between the two; the desktop-covering one is titled "Rezud".
void setDisplayWindowed(bool windowed, const std::string& title);

// Where the play square lies in the board's frames, once the video mode is open: what the
// window shows while it is an ordinary window. Until it is set, such a window shows whole frames.
void setPlaySquare(int x, int y, int side);

// The key codes that pollKey reports.
inline constexpr uint8_t kEscapeKey = 27;
inline constexpr uint8_t kSpaceKey = 32;

// Takes the pending events up to and including the first key-down or close request and returns
// 27 for an Escape key-down or a close request, 32 for a Space key-down (auto-repeats count), 0
// for any other key or when no key is pending; later events stay for the next poll. Never waits.
// F11 switches the window between covering the desktop and an ordinary window (and reports 0).
// Before it looks at its own events it runs the host hook, if one is set.
uint8_t pollKey();

// Closes the display window.
void destroyDisplayWindow();

// The editor lets Qt run its pending events here, so that its dialog stays alive underneath a
// preview. nullptr removes the hook.
void setHostEventHook(void (*hook)());

// Headless only: keys that the next polls report, in order, one per poll.
void injectHeadlessKey(uint8_t key);
// Headless only, for tests: while set, createDisplayWindow fails as it does where no window can
// be made.
void refuseHeadlessDisplayWindow(bool refuse);

namespace platform {

// ---- Presentation of the board's frames ----------------------------------------------------

// True when frames can be shown: this is what "hardware present" means for the board.
// The SDL implementation starts SDL's video subsystem; the headless one always succeeds.
bool startPresentation();
void stopPresentation();

// Shows a finished frame (RGB565, rows from the top, `width` pixels a row, no gaps), scaled to
// fit the display window with its aspect kept. Waits for the display's refresh when a window is
// on screen; returns at once when headless or when no window is open.
void presentFrame(const uint16_t* pixels, int width, int height);

// ---- Message boxes -------------------------------------------------------------------------

enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

// Shows a modal message box with `text` under `caption` and returns the answer. Writes
// "caption: text" to standard error first, so that a terminal user sees it too. The box itself
// is drawn by the installed handler, or by the platform's own box when none is installed (SDL's,
// or none at all when headless or when no display is available).
Answer showMessage(const std::string& text, const std::string& caption,
                   Buttons buttons = Buttons::Ok);

using MessageHandler = Answer (*)(const std::string& text, const std::string& caption,
                                  Buttons buttons);
// Installs the function that draws message boxes (the editor's Qt boxes, or a test's recorder);
// nullptr returns to the platform's own box. Returns the handler it replaces.
MessageHandler setMessageHandler(MessageHandler handler);

// The platform's own box; used when no handler is installed.
Answer showNativeMessage(const std::string& text, const std::string& caption, Buttons buttons);

}  // namespace platform
