// The undo history over an engine of its own: every kind of step comes back exactly, the saved
// state is known again, unchanged pictures are shared, and the bounds hold.
#include "editor/undo_history.h"

#include <gtest/gtest.h>

#include "engine/morph_engine.h"
#include "engine/project_file.h"
#include "support/test_pictures.h"

namespace {

using testing_support::gradientPicture;

// The whole project as its file holds it: pictures, points and flags, byte for byte.
std::vector<uint8_t> Project(const MorphEngine& engine) {
  return projectFileBytes(engine);
}

TEST(UndoHistory, EveryKindOfStepComesBackExactlyBothWays) {
  MorphEngine engine;
  UndoHistory history(engine);
  std::vector<std::vector<uint8_t>> states{Project(engine)};
  const auto step = [&] {
    ASSERT_TRUE(history.Record());
    states.push_back(Project(engine));
  };
  for (uint32_t seed : {1u, 2u, 3u}) engine.insertPicture(gradientPicture(seed), 0);
  step();                          // pictures added, several at once
  engine.addPoint(1, 40, 50);      // a point added ...
  engine.movePoint(2, 0, 60, 70);  // ... and its copy moved: the right-button gesture
  step();
  engine.addPoint(0, 10, 20);
  step();
  engine.movePoint(0, 1, 11, 22);  // a drag
  step();
  engine.deletePicture(1);  // a picture deleted from the middle
  step();
  engine.insertPicture(gradientPicture(4), 1);
  step();
  engine.deletePoint(0);  // a point deleted from every picture
  step();
  engine.clearProject();  // Clear All
  step();
  EXPECT_FALSE(history.Record()) << "nothing changed";

  for (std::size_t i = states.size() - 1; i-- > 0;) {
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(Project(engine), states[i]) << "undo to state " << i;
  }
  EXPECT_FALSE(history.Undo());
  for (std::size_t i = 1; i < states.size(); ++i) {
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(Project(engine), states[i]) << "redo to state " << i;
  }
  EXPECT_FALSE(history.Redo());

  // A change after an Undo takes the steps that Redo would have brought back.
  history.Undo();
  history.Undo();
  engine.addPoint(0, 5, 5);
  ASSERT_TRUE(history.Record());
  EXPECT_FALSE(history.CanRedo());
  history.Undo();
  EXPECT_EQ(Project(engine), states[states.size() - 3]);
}

TEST(UndoHistory, KnowsTheSavedStateAndUndoesChangesNotYetRecorded) {
  MorphEngine engine;
  UndoHistory history(engine);
  engine.insertPicture(gradientPicture(1), 0);
  history.Record();
  history.MarkSaved();
  EXPECT_TRUE(history.AtSavedState());
  engine.addPoint(0, 30, 30);
  history.Record();
  EXPECT_FALSE(history.AtSavedState());
  history.Undo();
  EXPECT_TRUE(history.AtSavedState()) << "undone back to what the file holds";

  // A drag still under way is recorded by Undo first, then taken back.
  const std::vector<uint8_t> before = Project(engine);
  engine.addPoint(0, 60, 60);
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(Project(engine), before);
  ASSERT_TRUE(history.Redo());
  EXPECT_EQ(engine.pointCount, 1);

  history.Reset();  // a Load
  EXPECT_FALSE(history.CanUndo());
  EXPECT_TRUE(history.AtSavedState());
}

TEST(UndoHistory, SharesUnchangedPicturesAndKeepsToItsBounds) {
  MorphEngine engine;
  UndoHistory history(engine, 100, std::size_t{4} << 20);
  for (uint32_t seed = 0; seed < 20; ++seed) {
    engine.insertPicture(gradientPicture(seed), static_cast<int32_t>(seed));
  }
  engine.addPoint(0, 100, 100);
  history.Record();
  const std::size_t withPictures = history.MemoryBytes();
  EXPECT_GE(withPictures, 20 * sizeof(PictureImage));
  for (int32_t move = 0; move < 150; ++move) {
    engine.movePoint(move % 20, 0, move, move);
    history.Record();
  }
  EXPECT_EQ(history.UndoSteps(), 100u) << "the oldest steps went";
  EXPECT_LT(history.MemoryBytes(), withPictures + 150 * sizeof(PictureImage) / 10)
      << "a moved point costs a point table, not its pictures";
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(history.Undo());
  EXPECT_FALSE(history.Undo());

  // Every step adding a picture of its own: the memory bound drops old steps, yet the last step
  // can always be undone.
  for (int round = 0; round < 40; ++round) {
    engine.deletePicture(0);
    engine.insertPicture(gradientPicture(100 + round), 0);
    history.Record();
    EXPECT_LE(history.MemoryBytes(), std::size_t{4} << 20);
  }
  EXPECT_GE(history.UndoSteps(), 1u);
  EXPECT_LT(history.UndoSteps(), 40u);
  const std::vector<uint8_t> last = Project(engine);
  ASSERT_TRUE(history.Undo());
  EXPECT_NE(Project(engine), last);
}

}  // namespace
