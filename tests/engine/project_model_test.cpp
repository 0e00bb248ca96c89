// The project model: pictures and control points kept alike on every picture.
#include <gtest/gtest.h>

#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "support/message_recorder.h"
#include "support/test_pictures.h"

using testing_support::MessageRecorder;
using testing_support::solidPicture;

namespace {

// An engine holding `pictures` pictures, picture n of colour n.
void fill(MorphEngine& engine, int pictures) {
  for (int n = 0; n < pictures; ++n) {
    ASSERT_EQ(engine.insertPicture(solidPicture(static_cast<uint16_t>(n)), n), 0);
  }
}

uint16_t colourOf(const MorphEngine& engine, int picture) {
  return engine.getPictureImage(picture)->pixels[0];
}

}  // namespace

TEST(ProjectModel, NewEngineHasDefaultSettingsAndNothingElse) {
  MorphEngine engine;
  EXPECT_EQ(engine.quality, 28);
  EXPECT_EQ(engine.speed, 100);
  EXPECT_EQ(engine.playSize, 450);
  EXPECT_EQ(engine.playMode, 0);
  EXPECT_EQ(engine.ditherMode, 0);
  EXPECT_EQ(engine.pictureCount, 0);
  EXPECT_EQ(engine.pointCount, 0);
  EXPECT_EQ(engine.getPoint(0, 0).x, -20.0f);
  EXPECT_EQ(engine.getPoint(0, 0).y, -20.0f);
  EXPECT_EQ(engine.getPictureImage(0), nullptr);
  EXPECT_EQ(engine.vertexStates[4224].x, 40.0f);
  EXPECT_EQ(engine.quads[4095].v[2], 2);
  EXPECT_EQ(engine.pictures[49].index, 49);
}

TEST(ProjectModel, InsertedPictureInheritsTheNeighboursPoints) {
  MorphEngine engine;
  fill(engine, 2);  // A (colour 0), B (colour 1)
  engine.addPoint(0, 10, 20);
  engine.addPoint(1, 30, 40);
  engine.movePoint(1, 0, 11, 21);  // B's point 0 differs from A's

  // At position 0 the new picture copies A, which moves to position 1.
  ASSERT_EQ(engine.insertPicture(solidPicture(7), 0), 0);
  EXPECT_EQ(colourOf(engine, 0), 7);
  EXPECT_EQ(colourOf(engine, 1), 0);
  EXPECT_EQ(engine.getPoint(0, 0).x, 10.0f);
  EXPECT_EQ(engine.getPoint(0, 0).inherited, 1);
  EXPECT_EQ(engine.getPoint(0, 1).inherited, 1);
  EXPECT_EQ(engine.getPoint(1, 0).inherited, 0);  // A keeps its own flags
  EXPECT_EQ(engine.getPoint(1, 1).inherited, 1);

  // At the end it copies the last picture.
  ASSERT_EQ(engine.insertPicture(solidPicture(8), 3), 0);
  EXPECT_EQ(engine.getPoint(3, 0).x, 11.0f);
  EXPECT_EQ(engine.getPoint(3, 0).y, 21.0f);

  // Beyond the end nothing changes and the picture stays with the caller.
  auto kept = solidPicture(9);
  EXPECT_NE(engine.insertPicture(std::move(kept), 5), 0);
  EXPECT_NE(kept, nullptr);
  EXPECT_EQ(engine.pictureCount, 4);
}

TEST(ProjectModel, PointsAreAddedEverywhereMovedOnOnePictureDeletedEverywhere) {
  MorphEngine engine;
  fill(engine, 4);
  EXPECT_EQ(engine.addPoint(2, 5, 6), 0);
  EXPECT_EQ(engine.addPoint(0, 7, 8), 1);
  EXPECT_EQ(engine.addPoint(4, 1, 1), -1);
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(engine.getPoint(p, 0).x, 5.0f);
    EXPECT_EQ(engine.getPoint(p, 0).inherited, p == 2 ? 0 : 1);
  }
  engine.movePoint(1, 0, 50, 60);
  EXPECT_EQ(engine.getPoint(1, 0).inherited, 0);
  EXPECT_EQ(engine.getPoint(3, 0).x, 5.0f);
  EXPECT_EQ(engine.getPoint(3, 0).inherited, 1);

  engine.addPoint(3, 9, 9);
  engine.deletePoint(0);
  EXPECT_EQ(engine.pointCount, 2);
  EXPECT_EQ(engine.getPoint(0, 0).x, 7.0f);  // former point 1, flags and all
  EXPECT_EQ(engine.getPoint(0, 0).inherited, 0);
  EXPECT_EQ(engine.getPoint(3, 1).inherited, 0);  // former point 2
  EXPECT_EQ(engine.getPoint(0, 2).x, -20.0f);     // index pointCount gives noPoint
  engine.deletePoint(2);
  EXPECT_EQ(engine.pointCount, 2);
}

TEST(ProjectModel, FindPointNearHasOpenBoundsAndPrefersTheLowerIndex) {
  MorphEngine engine;
  fill(engine, 1);
  engine.addPoint(0, 100, 100);
  EXPECT_EQ(engine.findPointNear(0, 103, 103), 0);
  EXPECT_EQ(engine.findPointNear(0, 104, 100), -1);
  EXPECT_EQ(engine.findPointNear(0, 96, 100), -1);
  EXPECT_EQ(engine.findPointNear(0, 100, 97), 0);
  engine.addPoint(0, 102, 100);
  EXPECT_EQ(engine.findPointNear(0, 101, 100), 0);
  EXPECT_EQ(engine.findPointNear(0, 105, 100), 1);
  EXPECT_EQ(engine.findPointNear(1, 100, 100), -1);
}

TEST(ProjectModel, DeletingPicturesMovesTheRestDownAndTheLastOneTakesThePoints) {
  MorphEngine engine;
  fill(engine, 3);
  engine.addPoint(0, 1, 1);
  engine.deletePicture(1);
  EXPECT_EQ(engine.pictureCount, 2);
  EXPECT_EQ(colourOf(engine, 1), 2);
  EXPECT_EQ(engine.pointCount, 1);  // pictures are left: the points stay
  engine.deletePicture(2);          // out of range: nothing
  EXPECT_EQ(engine.pictureCount, 2);
  engine.clearProject();
  EXPECT_EQ(engine.pictureCount, 0);
  EXPECT_EQ(engine.pointCount, 0);
  EXPECT_EQ(engine.getPictureImage(0), nullptr);
}

TEST(ProjectModel, DeletingAPictureWithoutImageWarnsAndStillDeletes) {
  MessageRecorder recorder;
  MorphEngine engine;
  ASSERT_EQ(engine.insertPicture(nullptr, 0), 0);
  engine.deletePicture(0);
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text, "MEMORY2");
  EXPECT_EQ(recorder.messages()[0].caption, kEngineErrorCaption);
  EXPECT_EQ(engine.pictureCount, 0);
}

TEST(ProjectModel, TablesAreGuardedAtFiftyPicturesAndFiveHundredPoints) {
  MorphEngine engine;
  fill(engine, kMaxPictures);
  auto extra = solidPicture(0xFFFF);
  EXPECT_NE(engine.insertPicture(std::move(extra), 0), 0);
  ASSERT_NE(extra, nullptr);  // still the caller's
  EXPECT_EQ(engine.pictureCount, kMaxPictures);
  EXPECT_EQ(colourOf(engine, 0), 0);  // nothing shifted

  for (int t = 0; t < kMaxPoints; ++t) ASSERT_EQ(engine.addPoint(t % kMaxPictures, t, t), t);
  EXPECT_EQ(engine.addPoint(0, 1, 1), -1);
  EXPECT_EQ(engine.pointCount, kMaxPoints);
  EXPECT_EQ(engine.getPoint(49, 499).x, 499.0f);
}

TEST(ProjectModel, FirstPictureOfAnEmptyProjectStartsWithoutPoints) {
  MorphEngine engine;
  // An empty project can hold a pointCount (a file without pictures leaves its header's).
  engine.pointCount = 7;
  engine.clearProject();
  EXPECT_EQ(engine.pointCount, 7);
  fill(engine, 2);
  EXPECT_EQ(engine.pointCount, 0);
  EXPECT_EQ(engine.getPoint(1, 0).x, -20.0f);
}

TEST(ProjectModel, NewPointRecordsCarryNoLeftoverBytes) {
  MorphEngine engine;
  fill(engine, 2);
  engine.addPoint(0, 1, 1);
  engine.addPoint(0, 2, 2);
  // As a file loaded with odd bytes in its records leaves them.
  engine.pictures[0].points[1].undefinedBytes[0] = 0xAB;
  engine.pictures[1].points[1].undefinedBytes[2] = 0xCD;
  engine.deletePoint(1);
  engine.addPoint(1, 3, 3);  // lands on the record that held those bytes
  for (int p = 0; p < 2; ++p) {
    const ControlPoint& point = engine.getPoint(p, 1);
    EXPECT_EQ(point.undefinedBytes[0] | point.undefinedBytes[1] | point.undefinedBytes[2], 0);
  }
}
