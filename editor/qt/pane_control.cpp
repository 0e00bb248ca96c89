#include "editor/qt/pane_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

uint32_t KeyFlags(const QMouseEvent* event) {
  uint32_t flags = 0;
  if (event->modifiers() & Qt::ShiftModifier) flags |= kKeyShift;
  if (event->modifiers() & Qt::ControlModifier) flags |= kKeyControl;
  return flags;
}

}  // namespace

PaneControl::PaneControl(QWidget* parent, CPicturePane& pane) : QWidget(parent), m_pane(pane) {
  setMouseTracking(true);  // hovering highlights points
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

QImage PaneControl::ScreenImage() const {
  const PaneScreen& screen = m_pane.Screen();
  return QImage(reinterpret_cast<const uchar*>(screen.data()), screen.width(), screen.height(),
                screen.width() * 4, QImage::Format_RGB32)
      .copy();
}

void PaneControl::paintEvent(QPaintEvent*) {
  const PaneScreen& screen = m_pane.Screen();
  const QImage image(reinterpret_cast<const uchar*>(screen.data()), screen.width(), screen.height(),
                     screen.width() * 4, QImage::Format_RGB32);
  QPainter(this).drawImage(0, 0, image);
}

PaneControl* PaneControl::TargetOf(const QMouseEvent* event, int32_t& cx, int32_t& cy) {
  const QPoint global = event->globalPosition().toPoint();
  PaneControl* target = this;
  if (!rect().contains(mapFromGlobal(global))) {
    // Qt hands every movement after a press to the pressed widget; pass it to the pane under
    // the cursor, as a window system without capture would.
    target = dynamic_cast<PaneControl*>(window()->childAt(window()->mapFromGlobal(global)));
    if (!target) return nullptr;
  }
  const QPoint local = target->mapFromGlobal(global);
  // The client area lies inside the one-pixel border; the border takes no mouse messages.
  if (local.x() < 1 || local.y() < 1 || local.x() > target->width() - 2 ||
      local.y() > target->height() - 2) {
    return nullptr;
  }
  cx = local.x() - 1;
  cy = local.y() - 1;
  return target;
}

void PaneControl::mousePressEvent(QMouseEvent* event) {
  int32_t cx = 0;
  int32_t cy = 0;
  PaneControl* target = TargetOf(event, cx, cy);
  if (!target) return;
  if (event->button() == Qt::LeftButton) target->m_pane.OnLButtonDown(KeyFlags(event), cx, cy);
  if (event->button() == Qt::RightButton) target->m_pane.OnRButtonDown(KeyFlags(event), cx, cy);
}

void PaneControl::mouseReleaseEvent(QMouseEvent* event) {
  int32_t cx = 0;
  int32_t cy = 0;
  PaneControl* target = TargetOf(event, cx, cy);
  if (!target) return;
  if (event->button() == Qt::LeftButton) target->m_pane.OnLButtonUp(KeyFlags(event), cx, cy);
  if (event->button() == Qt::RightButton) target->m_pane.OnRButtonUp(KeyFlags(event), cx, cy);
}

void PaneControl::mouseMoveEvent(QMouseEvent* event) {
  int32_t cx = 0;
  int32_t cy = 0;
  PaneControl* target = TargetOf(event, cx, cy);
  if (target) target->m_pane.OnMouseMove(KeyFlags(event), cx, cy);
}
