// The control a picture pane is bound to: it shows the pane's screen image and hands it the
// mouse. Like a window of its own, it never captures the mouse: a movement or a release reaches
// the pane whose client area is under the cursor, and none when the cursor is elsewhere.
#pragma once

#include <QWidget>

#include "editor/picture_pane.h"

class QMouseEvent;

class PaneControl : public QWidget, public PaneWindow {
 public:
  PaneControl(QWidget* parent, CPicturePane& pane);

  void ScreenChanged() override { update(); }
  CPicturePane& Pane() { return m_pane; }
  // The pane's screen image as a Qt image (a copy).
  QImage ScreenImage() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // The pane control whose client area is under the event's cursor, with the client
  // coordinates there; nullptr when there is none.
  PaneControl* TargetOf(const QMouseEvent* event, int32_t& cx, int32_t& cy);

  CPicturePane& m_pane;
};
