// The two picture panes of the main dialog: each shows one picture of the sequence at its full
// 256 x 256 size with a marker for every control point, and turns mouse gestures into the
// engine's point operations. The pane's rules live here, free of any toolkit; the dialog binds
// each pane to a control (a window) that shows the pane's screen image and hands it the mouse.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/picture.h"

class MorphEngine;

// The editor's one engine, and which pictures the panes show: the left pane shows picture
// g_leftPicture, the right pane picture g_leftPicture + 1.
extern MorphEngine g_engine;
extern int32_t g_leftPicture;

// Colours as 0x00RRGGBB.
using ScreenColor = uint32_t;

// What a pane window shows, pixel for pixel: a one-pixel border around its client area, the
// picture copied over it from the window's top-left corner, markers painted over that. Whatever
// was painted stays until something paints over it.
class PaneScreen {
 public:
  void Reset(int width, int height, ScreenColor background, ScreenColor border);
  int width() const { return width_; }
  int height() const { return height_; }
  ScreenColor pixel(int x, int y) const { return pixels_[y * width_ + x]; }
  const ScreenColor* data() const { return pixels_.data(); }

  // Fills a rectangle; whatever falls outside the window is cut off.
  void FillRect(int left, int top, int width, int height, ScreenColor color);
  // Copies the 256 x 256 5-5-5 bitmap to the window's top-left corner, cut off at its edges.
  void CopyBitmap(const uint16_t* bits);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<ScreenColor> pixels_;
};

// The window a pane is bound to: told whenever the pane's screen image has changed.
class PaneWindow {
 public:
  virtual void ScreenChanged() = 0;

 protected:
  ~PaneWindow() = default;
};

// Key flags that come with a mouse message.
inline constexpr uint32_t kKeyShift = 0x0004;
inline constexpr uint32_t kKeyControl = 0x0008;

// The marker colours.
inline constexpr ScreenColor kSelectionColor = 0xFF3333;  // the highlighted point
inline constexpr ScreenColor kPlacedColor = 0x0066FF;     // a point placed on this picture
inline constexpr ScreenColor kInheritedColor = 0xFF00FF;  // a point copied from another picture

class CPicturePane {
 public:
  // Binds the pane to its window, whose size the screen image takes; the window starts with
  // `background` inside a black border. `window` may be null (nothing to tell).
  void Bind(PaneWindow* window, int width, int height, ScreenColor background);
  // 0 for the left pane, 1 for the right one. The picture bitmap starts black.
  void Init(int32_t side);

  // Converts the picture into the pane's 5-5-5 bitmap (black when null). Draws nothing.
  void SetPicture(const PictureImage* image);
  // Copies the bitmap into the window and draws every marker of the pane's picture.
  void Redraw();
  // Moves the highlight to point n (-1: none), repainting only the two markers involved.
  void SelectPoint(int32_t n);

  // The window's messages. (cx, cy) are client coordinates: the client area begins inside the
  // window's one-pixel border. A mouse position maps to the picture position (cx + 4, cy + 2).
  // Each gesture is one undo step, recorded when it ends: a Shift press at once, a drag (also
  // one that began by adding a point) at its button's release.
  void OnPaint();
  void OnLButtonDown(uint32_t flags, int32_t cx, int32_t cy);
  void OnLButtonUp(uint32_t flags, int32_t cx, int32_t cy);
  void OnRButtonDown(uint32_t flags, int32_t cx, int32_t cy);
  void OnRButtonUp(uint32_t flags, int32_t cx, int32_t cy);
  void OnMouseMove(uint32_t flags, int32_t cx, int32_t cy);

  const PaneScreen& Screen() const { return m_screen; }
  const uint16_t* Bits() const { return m_bits.data(); }
  // The picture this pane shows (it may be past either end of the sequence).
  int32_t PictureIndex() const { return g_leftPicture + m_side; }

  int32_t m_side = 0;
  int32_t m_dragPoint = -1;     // the point that mouse movement moves; -1 none
  int32_t m_selectedPoint = 0;  // the highlighted point; -1 none
  int32_t m_rightDrag = 0;      // set from a right press over this pane to a right release

 private:
  void PaintMarker(int32_t point, bool selected);
  // True, after telling the user, when a press would add a 501st point to a shown picture.
  bool RefuseNewPoint() const;
  void Changed();

  std::vector<uint16_t> m_bits = std::vector<uint16_t>(kPicturePixels);  // the 5-5-5 bitmap
  PaneScreen m_screen;
  PaneWindow* m_window = nullptr;
};

// g_panes[0] is the left pane, g_panes[1] the right one.
extern CPicturePane g_panes[2];

// How many control points some picture of the project cannot show: those lying outside its
// 256 x 256 pixels there, or not a number (a project file may hold any float).
int32_t CountPointsNotShown();

// Moves the highlight to point n in both panes, left first.
void SelectPointInPanes(int32_t n);
// Redraws the left pane, then the right one.
void RedrawPanes();
// Ends a drag of either pane that is still under way (its button released outside the pane),
// before a command takes the project elsewhere.
void EndPaneGestures();
