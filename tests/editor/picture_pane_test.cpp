// The picture panes without Qt: what they paint, and the mouse gestures' state machine.
#include "editor/editor_texts.h"
#include "editor_test_support.h"

namespace editor_test {
namespace {

constexpr ScreenColor kRed = 0xFF3333;
constexpr ScreenColor kBlue = 0x0066FF;
constexpr ScreenColor kMagenta = 0xFF00FF;

class PaneTest : public EditorTest {
 protected:
  // Two grey pictures (RGB565 0x8410 shows as 0x848484), both panes showing them.
  void ShowTwoPictures() {
    g_engine.insertPicture(testing_support::solidPicture(0x8410), 0);
    g_engine.insertPicture(testing_support::solidPicture(0x8410), 1);
    dialog().RefreshPictures();
  }
  static constexpr ScreenColor kGrey = 0x848484;

  CPicturePane& left() { return g_panes[0]; }
  CPicturePane& right() { return g_panes[1]; }

  // Checks that the square of `size` at (x, y) has `color` and that the ring around it has not.
  static void ExpectSquare(const CPicturePane& pane, int x, int y, int size, ScreenColor color) {
    const PaneScreen& screen = pane.Screen();
    for (int row = y - 1; row <= y + size; ++row) {
      for (int column = x - 1; column <= x + size; ++column) {
        const bool inside = row >= y && row < y + size && column >= x && column < x + size;
        EXPECT_EQ(screen.pixel(column, row) == color, inside)
            << "pixel (" << column << ", " << row << ") of a square at (" << x << ", " << y << ")";
      }
    }
  }
};

TEST_F(PaneTest, ShowsThePictureAsAFiveFiveFiveBitmapCutOffAtTheWindowsEdges) {
  auto image = std::make_unique<PictureImage>();
  image->pixels[0] = 0xF800;                // red
  image->pixels[1] = 0x07E0;                // green
  image->pixels[2] = 0x0020;                // green's lowest bit alone: lost in 5-5-5
  image->pixels[255 * 256 + 245] = 0x001F;  // blue, the last column the right pane shows
  image->pixels[255 * 256 + 246] = 0x001F;
  g_engine.insertPicture(std::move(image), 0);
  g_engine.insertPicture(testing_support::solidPicture(0xFFFF), 1);
  dialog().RefreshPictures();

  EXPECT_EQ(left().Bits()[0], 0x7C00);
  EXPECT_EQ(left().Bits()[1], 0x03E0);
  EXPECT_EQ(left().Bits()[2], 0x0000);
  const PaneScreen& screen = left().Screen();
  EXPECT_EQ(screen.pixel(0, 0), 0xFF0000u) << "the picture covers the border";
  EXPECT_EQ(screen.pixel(1, 0), 0x00FF00u);
  EXPECT_EQ(screen.pixel(2, 0), 0x000000u);
  // The left window is 255 x 260: the picture's last column is cut off, and below the
  // picture the window's own background and bottom border stay.
  EXPECT_EQ(screen.width(), 255);
  EXPECT_EQ(screen.pixel(254, 255), 0x000000u);
  EXPECT_EQ(screen.pixel(100, 256), kBackground);
  EXPECT_EQ(screen.pixel(100, 259), 0x000000u);
  EXPECT_EQ(right().Screen().pixel(245, 255), 0xFFFFFFu);

  g_leftPicture = 1;
  dialog().RefreshPictures();
  EXPECT_EQ(right().Screen().pixel(10, 10), 0x000000u) << "no picture 2: black";
}

TEST_F(PaneTest, MarkersSitWhereThePointIsAndShowWhetherItWasPlacedHere) {
  ShowTwoPictures();
  g_engine.addPoint(0, 50, 60);    // point 0, highlighted from the start
  g_engine.addPoint(0, 100, 120);  // point 1: placed on the left, inherited on the right
  g_engine.addPoint(1, 2, 1);      // point 2: at the corner, its markers cut off
  RedrawPanes();

  ExpectSquare(left(), 47, 59, 3, kRed);
  ExpectSquare(left(), 97, 119, 3, kBlue);
  ExpectSquare(right(), 47, 59, 3, kRed);
  ExpectSquare(right(), 96, 118, 5, kMagenta);
  // Point 2 at (2, 1): the placed square starts at (-1, 0), the inherited one at (-2, -1).
  EXPECT_EQ(right().Screen().pixel(0, 0), kBlue);
  EXPECT_EQ(right().Screen().pixel(1, 2), kBlue);
  EXPECT_EQ(right().Screen().pixel(2, 0), kGrey);
  EXPECT_EQ(left().Screen().pixel(2, 3), kMagenta);
  EXPECT_EQ(left().Screen().pixel(3, 0), kGrey);
}

TEST_F(PaneTest, HoveringHighlightsTheLowestPointInReachInBothPanes) {
  ShowTwoPictures();
  g_engine.addPoint(0, 100, 100);
  g_engine.addPoint(0, 102, 100);
  SelectPointInPanes(-1);

  // Client (97, 98) is picture (101, 100): both points are in reach.
  left().OnMouseMove(0, 97, 98);
  EXPECT_EQ(left().m_selectedPoint, 0);
  EXPECT_EQ(right().m_selectedPoint, 0);
  ExpectSquare(right(), 97, 99, 3, kRed);

  // Picture (105, 100) reaches point 1 only (exactly 4 from point 0 does not count).
  right().OnMouseMove(0, 100, 98);
  EXPECT_EQ(left().m_selectedPoint, 1);
  EXPECT_EQ(right().m_selectedPoint, 1);

  left().OnMouseMove(0, 0, 0);
  EXPECT_EQ(left().m_selectedPoint, -1);
  EXPECT_EQ(right().m_selectedPoint, -1);
  // The normal marker covers the old highlight; the inherited one is larger.
  EXPECT_EQ(left().Screen().pixel(99, 99), kBlue);
  EXPECT_EQ(right().Screen().pixel(98, 98), kMagenta);
  EXPECT_EQ(right().Screen().pixel(102, 102), kMagenta);
  EXPECT_EQ(right().Screen().pixel(103, 100), kGrey);
}

TEST_F(PaneTest, LeftDragMovesTheHighlightedPointOnThisPictureOnly) {
  ShowTwoPictures();
  g_engine.addPoint(1, 100, 100);  // inherited on the left picture
  left().OnMouseMove(0, 96, 98);
  ASSERT_EQ(left().m_selectedPoint, 0);

  left().OnLButtonDown(0, 96, 98);
  EXPECT_EQ(left().m_dragPoint, 0);
  left().OnMouseMove(0, 146, 58);
  const ControlPoint& moved = g_engine.getPoint(0, 0);
  EXPECT_EQ(moved.x, 150.0f);
  EXPECT_EQ(moved.y, 60.0f);
  EXPECT_EQ(moved.inherited, 0) << "dragged: placed on this picture now";
  EXPECT_EQ(g_engine.getPoint(1, 0).x, 100.0f);
  ExpectSquare(left(), 147, 59, 3, kRed);
  // Only the dragged pane was redrawn; the right pane still shows the point where it was.
  ExpectSquare(right(), 97, 99, 3, kRed);

  left().OnLButtonUp(0, 146, 58);
  left().OnMouseMove(0, 10, 10);  // hovering again: the highlight goes, nothing moves
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 150.0f);
  EXPECT_EQ(left().m_selectedPoint, -1);

  // A plain press with nothing highlighted grabs nothing.
  left().OnLButtonDown(0, 30, 30);
  EXPECT_EQ(left().m_dragPoint, -1);
  left().OnMouseMove(0, 146, 58);
  EXPECT_EQ(left().m_selectedPoint, 0);
}

TEST_F(PaneTest, ControlPressAddsAndGrabsAPointAndShiftPressDeletesTheHighlightedOne) {
  ShowTwoPictures();
  left().OnLButtonDown(kKeyControl | kKeyShift, 0, 0);  // Control wins over Shift
  ASSERT_EQ(g_engine.pointCount, 1);
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 4.0f);
  EXPECT_EQ(g_engine.getPoint(0, 0).y, 2.0f);
  EXPECT_EQ(g_engine.getPoint(1, 0).inherited, 1);
  EXPECT_EQ(left().m_dragPoint, 0);
  left().OnMouseMove(0, 20, 20);
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 24.0f);
  left().OnLButtonUp(0, 20, 20);

  right().OnLButtonDown(kKeyControl, 60, 60);
  EXPECT_EQ(g_engine.pointCount, 2);
  EXPECT_EQ(right().m_selectedPoint, 0) << "a Control press leaves the highlight";
  right().OnLButtonUp(0, 60, 60);

  SelectPointInPanes(-1);
  right().OnLButtonDown(kKeyShift, 60, 60);  // nothing highlighted: nothing deleted
  EXPECT_EQ(g_engine.pointCount, 2);

  right().OnMouseMove(0, 60, 60);
  ASSERT_EQ(right().m_selectedPoint, 1);
  right().OnLButtonDown(kKeyShift, 60, 60);
  EXPECT_EQ(g_engine.pointCount, 1);
  EXPECT_EQ(left().m_selectedPoint, -1);
  EXPECT_EQ(right().m_selectedPoint, -1);
  EXPECT_EQ(right().m_dragPoint, -1);
  EXPECT_EQ(right().Screen().pixel(63, 61), kGrey) << "both panes fully redrawn";
}

TEST_F(PaneTest, RightDragAddsAPointAndMovesItsCopyOnTheNeighbouringPicture) {
  ShowTwoPictures();
  g_engine.addPoint(0, 200, 200);  // highlighted point 0
  RedrawPanes();

  left().OnRButtonDown(0, 46, 48);  // picture (50, 50)
  ASSERT_EQ(g_engine.pointCount, 2);
  EXPECT_EQ(left().m_selectedPoint, 1);
  EXPECT_EQ(right().m_selectedPoint, 1);
  // On the pressed pane the old highlight keeps its square until the next full redraw.
  ExpectSquare(left(), 197, 199, 3, kRed);
  ExpectSquare(right(), 196, 198, 5, kMagenta);

  left().OnMouseMove(0, 66, 78);
  EXPECT_EQ(g_engine.getPoint(1, 1).x, 70.0f);
  EXPECT_EQ(g_engine.getPoint(1, 1).y, 80.0f);
  EXPECT_EQ(g_engine.getPoint(1, 1).inherited, 0);
  EXPECT_EQ(g_engine.getPoint(0, 1).x, 50.0f) << "the pressed picture keeps its copy";
  ExpectSquare(right(), 67, 79, 3, kRed);
  ExpectSquare(left(), 197, 199, 3, kBlue);

  // A release elsewhere never reaches the pane: the drag goes on.
  left().OnMouseMove(0, 76, 88);
  EXPECT_EQ(g_engine.getPoint(1, 1).x, 80.0f);
  left().OnRButtonUp(0, 76, 88);
  left().OnMouseMove(0, 10, 10);
  EXPECT_EQ(g_engine.getPoint(1, 1).x, 80.0f);
  EXPECT_EQ(left().m_rightDrag, 0);
}

TEST_F(PaneTest, PanesWithoutAPictureChangeNothing) {
  left().OnRButtonDown(0, 10, 10);
  left().OnLButtonDown(kKeyControl, 10, 10);
  left().OnMouseMove(0, 20, 20);
  EXPECT_EQ(g_engine.pointCount, 0);
  EXPECT_EQ(left().Screen().pixel(20, 20), 0x000000u);

  AppendPictures(1);  // the right pane shows nothing
  dialog().RefreshPictures();
  right().OnLButtonDown(kKeyControl, 10, 10);
  right().OnRButtonDown(0, 10, 10);
  right().OnMouseMove(0, 30, 30);
  EXPECT_EQ(g_engine.pointCount, 0);
  EXPECT_EQ(right().m_dragPoint, -1);
}

TEST_F(PaneTest, AFiveHundredFirstPointIsRefusedWithAMessage) {
  ShowTwoPictures();
  for (int i = 0; i < kMaxPoints; ++i) g_engine.addPoint(0, i % 256, i / 256);
  left().OnLButtonDown(kKeyControl, 100, 100);
  EXPECT_EQ(left().m_dragPoint, -1);
  right().OnRButtonDown(0, 100, 100);
  EXPECT_EQ(right().m_rightDrag, 0);
  EXPECT_EQ(right().m_dragPoint, -1);
  right().OnMouseMove(0, 120, 120);
  EXPECT_EQ(g_engine.pointCount, kMaxPoints);
  EXPECT_EQ(g_engine.getPoint(0, kMaxPoints - 1).x, static_cast<float>((kMaxPoints - 1) % 256));
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0].text, kTooManyPointsMessage);
}

TEST_F(PaneTest, PointsFarOffThePictureDrawNothing) {
  ShowTwoPictures();
  g_engine.addPoint(0, 10, 10);
  g_engine.pictures[0].points[0].x = 3.0e38f;  // a project file may hold any float
  g_engine.pictures[1].points[0].y = std::numeric_limits<float>::quiet_NaN();
  RedrawPanes();
  EXPECT_EQ(left().Screen().pixel(7, 9), kGrey);
  EXPECT_EQ(right().Screen().pixel(7, 9), kGrey);
}

}  // namespace
}  // namespace editor_test
