// Face points: the landmarks of a real face near marks placed by hand, and how they are added
// to a project.
#include "faces/face_points.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/morph_engine.h"
#include "support/test_pictures.h"

namespace {

// Marked by hand on tests/data/astronaut_face.bmp (see tests/data/SOURCES.md).
struct Mark {
  const char* feature;
  float x, y;
};
constexpr Mark kMarks[] = {{"left eye", 100, 100},
                           {"right eye", 150, 102},
                           {"nose tip", 123, 131},
                           {"left mouth corner", 101, 146},
                           {"right mouth corner", 148, 147}};

std::unique_ptr<PictureImage> astronaut() {
  MorphEngine engine;
  return engine.importBmp(MORPH_SOURCE_DATA "/astronaut_face.bmp");
}

std::unique_ptr<PictureImage> mirrored(const PictureImage& picture) {
  auto mirror = std::make_unique<PictureImage>();
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < kPictureSide; ++x) {
      mirror->pixels[y * kPictureSide + x] = picture.pixels[y * kPictureSide + 255 - x];
    }
  }
  return mirror;
}

// The features of a shape that the hand marks name: eye centres, nose tip, mouth corners.
std::vector<FacePoint> marked(const FaceShape& shape) {
  auto centre = [&](int first) {
    FacePoint sum{0, 0};
    for (int k = first; k < first + 6; ++k) sum = {sum.x + shape[k].x / 6, sum.y + shape[k].y / 6};
    return sum;
  };
  return {centre(36), centre(42), shape[30], shape[48], shape[54]};
}

void expectNearMarks(const FaceShape& shape, bool mirror) {
  const std::vector<FacePoint> found = marked(shape);
  for (int m = 0; m < 5; ++m) {
    // In the mirror image the left features take the place of the right ones.
    constexpr int kMirrored[] = {1, 0, 2, 4, 3};
    const Mark& mark = kMarks[mirror ? kMirrored[m] : m];
    const float x = mirror ? 255 - mark.x : mark.x;
    EXPECT_NEAR(found[m].x, x, 5) << kMarks[m].feature << (mirror ? " (mirrored)" : "");
    EXPECT_NEAR(found[m].y, mark.y, 5) << kMarks[m].feature << (mirror ? " (mirrored)" : "");
  }
  EXPECT_LT(shape[0].x, shape[16].x) << "the jaw line runs from the picture's left";
}

}  // namespace

TEST(FacePoints, LandmarksOfARealFaceLieNearTheHandMarks) {
  const std::unique_ptr<PictureImage> face = astronaut();
  ASSERT_TRUE(face);
  const std::unique_ptr<PictureImage> mirror = mirrored(*face);
  const std::unique_ptr<PictureImage> gradient = testing_support::gradientPicture(3);
  const PictureImage* pictures[] = {face.get(), gradient.get(), mirror.get(), nullptr};
  std::vector<std::optional<FaceShape>> shapes;
  std::string why;
  ASSERT_EQ(findFaceShapes(pictures, shapes, &why), FaceSearch::done) << why;
  ASSERT_EQ(shapes.size(), 4u);
  ASSERT_TRUE(shapes[0]);
  expectNearMarks(*shapes[0], false);
  EXPECT_FALSE(shapes[1]) << "a gradient has no face";
  ASSERT_TRUE(shapes[2]);
  expectNearMarks(*shapes[2], true);
  EXPECT_FALSE(shapes[3]);

  // A photograph of another size: its eyes in its own pixels.
  std::vector<uint8_t> rgb;
  constexpr int kScale = 3;  // 768 x 768, each pixel 3 x 3
  for (int y = 0; y < 256 * kScale; ++y) {
    for (int x = 0; x < 256 * kScale; ++x) {
      const uint16_t pixel = face->pixels[(y / kScale) * 256 + x / kScale];
      rgb.insert(rgb.end(), {uint8_t((pixel >> 11) << 3), uint8_t(((pixel >> 5) & 63) << 2),
                             uint8_t((pixel & 31) << 3)});
    }
  }
  std::optional<EyeCentres> eyes;
  ASSERT_EQ(findEyeCentres({rgb.data(), 768, 768, 768 * 3}, eyes, &why), FaceSearch::done) << why;
  ASSERT_TRUE(eyes);
  EXPECT_NEAR(eyes->leftX, (100 + 0.5) * kScale - 0.5, 5 * kScale);
  EXPECT_NEAR(eyes->leftY, (100 + 0.5) * kScale - 0.5, 5 * kScale);
  EXPECT_NEAR(eyes->rightX, (150 + 0.5) * kScale - 0.5, 5 * kScale);
  EXPECT_NEAR(eyes->rightY, (102 + 0.5) * kScale - 0.5, 5 * kScale);
}

TEST(FacePoints, FacesArePlacedAndTheOthersCopyTheNearestFace) {
  MorphEngine engine;
  for (int n = 0; n < 5; ++n) engine.insertPicture(testing_support::solidPicture(0), n);
  engine.addPoint(1, 7, 8);
  auto shapeAt = [](float x, float y) {
    FaceShape shape;
    for (int k = 0; k < kFacePointCount; ++k) shape[k] = {x + k, y};
    return shape;
  };
  FaceShape outside = shapeAt(10.5f, 20.4f);
  outside[1] = {-3.2f, 300.7f};
  // Faces on 1 and 3: 0 copies 1, 4 copies 3, and 2, as near to both, the earlier one.
  const std::vector<std::optional<FaceShape>> shapes = {std::nullopt, outside, std::nullopt,
                                                        shapeAt(50, 60), std::nullopt};
  const FaceSources sources = placeFacePoints(engine, shapes);
  EXPECT_EQ(sources, (FaceSources{1, -1, 1, -1, 3}));
  ASSERT_EQ(engine.pointCount, 1 + kFacePointCount);
  EXPECT_EQ(engine.getPoint(1, 0).x, 7.0f) << "the project's own points stay first";
  const int32_t expectedX[] = {11, 11, 11, 50, 50};
  for (int n = 0; n < 5; ++n) {
    const ControlPoint& first = engine.getPoint(n, 1);
    EXPECT_EQ(first.x, expectedX[n]) << n;
    EXPECT_EQ(first.inherited, sources[n] < 0 ? 0 : 1) << n;
  }
  EXPECT_EQ(engine.getPoint(1, 1).y, 20.0f);
  EXPECT_EQ(engine.getPoint(1, 2).x, 0.0f) << "kept inside the picture";
  EXPECT_EQ(engine.getPoint(1, 2).y, 255.0f);
  EXPECT_EQ(engine.getPoint(4, 68).x, 50.0f + 67);
  EXPECT_EQ(engine.getPoint(2, 68).x, 11.0f + 67);
}

TEST(FacePoints, ProjectsThatCannotTakeThemAreLeftAsTheyWere) {
  MorphEngine engine;
  FaceSources sources;
  std::string why;
  EXPECT_EQ(addFacePoints(engine, {}, sources, &why), FaceSearch::failed);
  EXPECT_EQ(why, "the project has no pictures");

  engine.insertPicture(testing_support::gradientPicture(1), 0);
  engine.insertPicture(testing_support::gradientPicture(2), 1);
  for (int t = 0; t < kMaxPoints - kFacePointCount + 1; ++t) engine.addPoint(0, t % 256, 9);
  EXPECT_EQ(addFacePoints(engine, {}, sources, &why), FaceSearch::failed);
  EXPECT_NE(why.find("433 points; 68 more would pass the 500"), std::string::npos) << why;
  engine.deletePoint(0);
  EXPECT_EQ(facePointsRefusal(engine), "");

  // No face anywhere: nothing is added.
  EXPECT_EQ(addFacePoints(engine, {}, sources, &why), FaceSearch::failed);
  EXPECT_EQ(why, "no face found on any picture");
  EXPECT_EQ(engine.pointCount, 432);

  // A search cancelled by its progress report changes nothing either.
  engine.insertPicture(astronaut(), 2);
  EXPECT_EQ(addFacePoints(engine, {}, sources, &why, [](int32_t, int32_t) { return false; }),
            FaceSearch::cancelled);
  EXPECT_EQ(engine.pointCount, 432);
}
