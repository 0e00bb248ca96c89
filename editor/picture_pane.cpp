#include "editor/picture_pane.h"

#include <algorithm>
#include <cmath>

#include "editor/editor_texts.h"
#include "editor/undo_history.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "glide/platform.h"

namespace {

// Each marker is a filled square whose corner lies left of and above the point.
struct MarkerShape {
  float left;  // subtracted from the point's x
  float top;   // subtracted from the point's y
  int size;
};
constexpr MarkerShape kSmallMarker{3.0f, 1.0f, 3};  // selection and placed markers
constexpr MarkerShape kInheritedMarker{4.0f, 2.0f, 5};

constexpr ScreenColor kBorderColor = 0x000000;

// A marker corner in window pixels: the subtraction in float, truncated toward zero. A point
// far outside the picture (a project file may hold any float, even NaN) lands well outside the
// window instead of overflowing the conversion.
int MarkerCorner(float coordinate, float offset) {
  const float corner = coordinate - offset;
  if (!(std::fabs(corner) < 100000.0f)) return -100000;
  return static_cast<int>(corner);
}

// A 5-bit channel widened to 8 bits, as the display shows a 5-5-5 pixel.
ScreenColor Widen5(uint32_t channel) {
  return (channel << 3) | (channel >> 2);
}

ScreenColor ScreenColorOf555(uint16_t pixel) {
  return Widen5((pixel >> 10) & 31) << 16 | Widen5((pixel >> 5) & 31) << 8 | Widen5(pixel & 31);
}

}  // namespace

// ---- PaneScreen --------------------------------------------------------------------------------

void PaneScreen::Reset(int width, int height, ScreenColor background, ScreenColor border) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<std::size_t>(width_) * height_, background);
  for (int x = 0; x < width_; ++x) {
    pixels_[x] = border;
    pixels_[(height_ - 1) * width_ + x] = border;
  }
  for (int y = 0; y < height_; ++y) {
    pixels_[y * width_] = border;
    pixels_[y * width_ + width_ - 1] = border;
  }
}

void PaneScreen::FillRect(int left, int top, int width, int height, ScreenColor color) {
  const int x0 = std::max(left, 0);
  const int y0 = std::max(top, 0);
  const int x1 = std::min(left + width, width_);
  const int y1 = std::min(top + height, height_);
  if (x0 >= x1 || y0 >= y1) return;  // wholly outside the window
  for (int y = y0; y < y1; ++y) {
    std::fill(pixels_.begin() + y * width_ + x0, pixels_.begin() + y * width_ + x1, color);
  }
}

void PaneScreen::CopyBitmap(const uint16_t* bits) {
  const int columns = std::min(width_, kPictureSide);
  const int rows = std::min(height_, kPictureSide);
  for (int y = 0; y < rows; ++y) {
    const uint16_t* source = bits + y * kPictureSide;
    ScreenColor* target = &pixels_[y * width_];
    for (int x = 0; x < columns; ++x) target[x] = ScreenColorOf555(source[x]);
  }
}

// ---- CPicturePane ------------------------------------------------------------------------------

void CPicturePane::Bind(PaneWindow* window, int width, int height, ScreenColor background) {
  m_window = window;
  m_screen.Reset(width, height, background, kBorderColor);
}

void CPicturePane::Init(int32_t side) {
  m_side = side;
  std::fill(m_bits.begin(), m_bits.end(), 0);
}

void CPicturePane::SetPicture(const PictureImage* image) {
  if (!image) {
    std::fill(m_bits.begin(), m_bits.end(), 0);
    return;
  }
  // Red and blue keep their five bits; green loses its lowest one.
  for (int i = 0; i < kPicturePixels; ++i) {
    const uint16_t v = image->pixels[i];
    m_bits[i] = static_cast<uint16_t>(((v >> 11) & 31) << 10 | ((v >> 6) & 31) << 5 | (v & 31));
  }
}

void CPicturePane::PaintMarker(int32_t point, bool selected) {
  const ControlPoint& at = g_engine.getPoint(PictureIndex(), point);
  const bool inherited = at.inherited == 1;
  const MarkerShape& shape = (inherited && !selected) ? kInheritedMarker : kSmallMarker;
  // Any flag other than 0 or 1 (only a project file can hold one) draws no normal marker.
  if (!selected && at.inherited > 1) return;
  const ScreenColor color = selected ? kSelectionColor : inherited ? kInheritedColor : kPlacedColor;
  m_screen.FillRect(MarkerCorner(at.x, shape.left), MarkerCorner(at.y, shape.top), shape.size,
                    shape.size, color);
}

void CPicturePane::Redraw() {
  m_screen.CopyBitmap(m_bits.data());
  const int32_t picture = PictureIndex();
  if (picture >= 0 && picture < g_engine.pictureCount) {
    // Later markers paint over earlier ones.
    for (int32_t i = 0; i < g_engine.pointCount; ++i) PaintMarker(i, i == m_selectedPoint);
  }
  Changed();
}

void CPicturePane::SelectPoint(int32_t n) {
  // The normal marker covers the old selection square; the picture under it is not restored.
  PaintMarker(m_selectedPoint, false);
  m_selectedPoint = n;
  PaintMarker(n, true);
  Changed();
}

void CPicturePane::OnPaint() {
  Redraw();
}

bool CPicturePane::RefuseNewPoint() const {
  const int32_t picture = PictureIndex();
  if (picture < 0 || picture >= g_engine.pictureCount || g_engine.pointCount < kMaxPoints) {
    return false;
  }
  platform::showMessage(kTooManyPointsMessage, kEngineErrorCaption);
  return true;
}

void CPicturePane::OnLButtonDown(uint32_t flags, int32_t cx, int32_t cy) {
  m_dragPoint = m_selectedPoint;
  if (flags & kKeyControl) {
    m_dragPoint = RefuseNewPoint() ? -1 : g_engine.addPoint(PictureIndex(), cx + 4, cy + 2);
  } else if ((flags & kKeyShift) && m_dragPoint != -1) {
    g_engine.deletePoint(m_dragPoint);
    g_history.Record();
    m_dragPoint = -1;
    m_selectedPoint = -1;
    SelectPointInPanes(-1);
  }
  RedrawPanes();
}

void CPicturePane::OnLButtonUp(uint32_t, int32_t, int32_t) {
  if (m_dragPoint != -1 && !m_rightDrag) g_history.Record();
  m_dragPoint = -1;
}

void CPicturePane::OnRButtonDown(uint32_t, int32_t cx, int32_t cy) {
  // With the point table full the press only says so, and no drag begins.
  if (RefuseNewPoint()) return;
  m_rightDrag = 1;
  m_dragPoint = g_engine.addPoint(PictureIndex(), cx + 4, cy + 2);
  m_selectedPoint = m_dragPoint;
  SelectPointInPanes(m_selectedPoint);
}

void CPicturePane::OnRButtonUp(uint32_t, int32_t, int32_t) {
  if (m_rightDrag) g_history.Record();
  m_rightDrag = 0;
  m_dragPoint = -1;
}

void CPicturePane::OnMouseMove(uint32_t, int32_t cx, int32_t cy) {
  if (m_rightDrag) {
    // The right gesture moves the new point on the neighbouring picture.
    const int32_t other = m_side == 0 ? g_leftPicture + 1 : g_leftPicture;
    g_engine.movePoint(other, m_dragPoint, cx + 4, cy + 2);
    RedrawPanes();
  } else if (m_dragPoint == -1) {
    const int32_t near = g_engine.findPointNear(PictureIndex(), cx + 4, cy + 2);
    if (near != m_selectedPoint) SelectPointInPanes(near);
  } else {
    g_engine.movePoint(PictureIndex(), m_dragPoint, cx + 4, cy + 2);
    Redraw();
  }
}

void CPicturePane::Changed() {
  if (m_window) m_window->ScreenChanged();
}

int32_t CountPointsNotShown() {
  const auto shown = [](float coordinate) {
    return coordinate >= 0.0f && coordinate < static_cast<float>(kPictureSide);  // NaN: false
  };
  int32_t count = 0;
  for (int32_t t = 0; t < g_engine.pointCount; ++t) {
    for (int32_t n = 0; n < g_engine.pictureCount; ++n) {
      const ControlPoint& point = g_engine.getPoint(n, t);
      if (!shown(point.x) || !shown(point.y)) {
        ++count;
        break;
      }
    }
  }
  return count;
}

void SelectPointInPanes(int32_t n) {
  g_panes[0].SelectPoint(n);
  g_panes[1].SelectPoint(n);
}

void RedrawPanes() {
  g_panes[0].Redraw();
  g_panes[1].Redraw();
}

void EndPaneGestures() {
  for (CPicturePane& pane : g_panes) {
    pane.m_dragPoint = -1;
    pane.m_rightDrag = 0;
  }
}
