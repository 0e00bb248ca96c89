// Paints the pictures of the demo project: five creatures' faces, each with its own outline,
// ears, eyes, brows, nose and mouth at its own places and sizes, its own colours, gradients and
// textures, so that a morph between them shows the features travelling onto each other and the
// colours cross-fading. Writes face0.bmp ... face4.bmp and points.txt, the control points on
// corresponding features, into the directory it is given.
//
//   demo_painter DIR
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/file_io.h"
#include "tools/bmp_file.h"

namespace {

struct Colour {
  double r, g, b;
};

Colour mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Colour scale(Colour c, double f) {
  return {c.r * f, c.g * f, c.b * f};
}

struct Point {
  double x, y;
};

enum class Pattern { Clouds, Stripes, Stars, Checks, Waves };
enum class EarShape { Round, Pointed, Long };

// One creature: where its features are and what it is made of.
struct Face {
  Point centre;
  double radiusX, radiusY;
  EarShape ears;
  Point leftEar, rightEar;  // ear tips
  double earSize;
  Point leftEye, rightEye;
  double eyeRadius;
  double browLift;  // brows this far above the eyes
  Point nose;
  double noseSize;
  Point mouthLeft, mouthRight;
  double mouthTop, mouthBottom;  // y of the lips at the middle of the mouth
  Colour skyTop, skyBottom;
  Pattern sky;
  Colour skin, skinShade, iris, lips, outline;
  Pattern skinPattern;
};

// Smooth value noise from a hash of the lattice corners: the texture of skies and skins.
double hashNoise(int x, int y, int seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               static_cast<uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}
double smoothNoise(double x, double y, int seed) {
  const int ix = static_cast<int>(std::floor(x));
  const int iy = static_cast<int>(std::floor(y));
  const double fx = x - ix;
  const double fy = y - iy;
  const double sx = fx * fx * (3 - 2 * fx);
  const double sy = fy * fy * (3 - 2 * fy);
  const double top = hashNoise(ix, iy, seed) * (1 - sx) + hashNoise(ix + 1, iy, seed) * sx;
  const double bottom =
      hashNoise(ix, iy + 1, seed) * (1 - sx) + hashNoise(ix + 1, iy + 1, seed) * sx;
  return top * (1 - sy) + bottom * sy;
}
double fractalNoise(double x, double y, int seed) {
  return 0.5 * smoothNoise(x / 32, y / 32, seed) + 0.3 * smoothNoise(x / 12, y / 12, seed + 1) +
         0.2 * smoothNoise(x / 5, y / 5, seed + 2);
}

// How strongly a pattern marks the point, 0 to 1.
double patternAt(Pattern pattern, double x, double y) {
  switch (pattern) {
    case Pattern::Clouds:
      return std::clamp((fractalNoise(x, y, 7) - 0.45) * 3.0, 0.0, 1.0);
    case Pattern::Stripes:
      return 0.5 + 0.5 * std::sin((x + y * 0.6) / 6.0 + 3.0 * fractalNoise(x, y, 3));
    case Pattern::Stars: {
      // At most one star in each 10 x 10 cell, somewhere inside it, of its own size.
      const int cellX = static_cast<int>(std::floor(x / 10));
      const int cellY = static_cast<int>(std::floor(y / 10));
      const double glow = 0.15 * fractalNoise(x, y, 5);
      if (hashNoise(cellX, cellY, 11) < 0.6) return glow;
      const double starX = cellX * 10 + 2 + 6 * hashNoise(cellX, cellY, 12);
      const double starY = cellY * 10 + 2 + 6 * hashNoise(cellX, cellY, 13);
      const double size = 0.6 + 1.2 * hashNoise(cellX, cellY, 14);
      const double d = std::hypot(x - starX, y - starY) / size;
      return std::max(glow, std::clamp(1.2 - d, 0.0, 1.0));
    }
    case Pattern::Checks:
      return ((static_cast<int>(x) / 16 + static_cast<int>(y) / 16) % 2) * 0.6 +
             0.4 * fractalNoise(x, y, 9);
    case Pattern::Waves:
      return 0.5 + 0.5 * std::sin(y / 5.0 + 2.0 * std::sin(x / 17.0));
  }
  return 0;
}

double ellipseDistance(Point p, Point c, double rx, double ry) {
  const double dx = (p.x - c.x) / rx;
  const double dy = (p.y - c.y) / ry;
  return std::sqrt(dx * dx + dy * dy);
}

// Distance from p to the segment a-b.
double segmentDistance(Point p, Point a, Point b) {
  const double vx = b.x - a.x, vy = b.y - a.y;
  const double t =
      std::clamp(((p.x - a.x) * vx + (p.y - a.y) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
  return std::hypot(p.x - a.x - t * vx, p.y - a.y - t * vy);
}

bool insideTriangle(Point p, Point a, Point b, Point c) {
  auto side = [](Point p, Point a, Point b) {
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
  };
  const double d1 = side(p, a, b), d2 = side(p, b, c), d3 = side(p, c, a);
  return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
}

// The ear whose tip is `tip`: its colour at p, or false when p is not on it.
bool earAt(const Face& face, Point tip, Point p, Colour& colour) {
  const Point toward{face.centre.x + (tip.x - face.centre.x) * 0.55,
                     face.centre.y + (tip.y - face.centre.y) * 0.55};
  const double size = face.earSize;
  double inner = 2;  // below 1: the inner ear
  bool inside = false;
  switch (face.ears) {
    case EarShape::Round: {
      const Point middle{(tip.x + toward.x) / 2, (tip.y + toward.y) / 2};
      const double reach = std::hypot(tip.x - middle.x, tip.y - middle.y);
      const double d = std::hypot(p.x - middle.x, p.y - middle.y) / reach;
      inside = d < 1;
      inner = d / 0.6;
      break;
    }
    case EarShape::Pointed:
    case EarShape::Long: {
      const double dx = tip.x - toward.x, dy = tip.y - toward.y;
      const double length = std::hypot(dx, dy);
      const double width = face.ears == EarShape::Long ? size * 0.45 : size;
      const Point a{toward.x - dy / length * width, toward.y + dx / length * width};
      const Point b{toward.x + dy / length * width, toward.y - dx / length * width};
      if (face.ears == EarShape::Long) {
        const Point middle{(tip.x + toward.x) / 2, (tip.y + toward.y) / 2};
        const double along =
            ((p.x - middle.x) * dx + (p.y - middle.y) * dy) / (length * length / 2);
        const double across = ((p.x - middle.x) * -dy + (p.y - middle.y) * dx) / (length * width);
        const double d = std::sqrt(along * along + across * across);
        inside = d < 1;
        inner = d / 0.55;
      } else {
        inside = insideTriangle(p, tip, a, b);
        const Point centroid{(tip.x + a.x + b.x) / 3, (tip.y + a.y + b.y) / 3};
        const Point innerTip{centroid.x + (tip.x - centroid.x) * 0.55,
                             centroid.y + (tip.y - centroid.y) * 0.55};
        const Point innerA{centroid.x + (a.x - centroid.x) * 0.55,
                           centroid.y + (a.y - centroid.y) * 0.55};
        const Point innerB{centroid.x + (b.x - centroid.x) * 0.55,
                           centroid.y + (b.y - centroid.y) * 0.55};
        inner = insideTriangle(p, innerTip, innerA, innerB) ? 0 : 2;
      }
      break;
    }
  }
  if (!inside) return false;
  colour = inner < 1 ? mix(face.lips, Colour{255, 220, 230}, 0.5) : face.skinShade;
  return true;
}

Colour colourAt(const Face& face, Point p) {
  // The sky: a vertical gradient marked with its pattern.
  const double height = p.y / 255.0;
  Colour colour = mix(face.skyTop, face.skyBottom, height);
  colour = mix(colour, Colour{255, 255, 255}, 0.35 * patternAt(face.sky, p.x, p.y));

  Colour ear;
  if (earAt(face, face.leftEar, p, ear) || earAt(face, face.rightEar, p, ear)) colour = ear;

  const double head = ellipseDistance(p, face.centre, face.radiusX, face.radiusY);
  if (head > 1.0) return colour;
  if (head > 0.95) return face.outline;

  // The skin: lit from the top left, darker towards the rim, with its own texture.
  const double light = std::clamp(
      1.0 - 0.5 * ellipseDistance(
                      p, {face.centre.x - face.radiusX * 0.35, face.centre.y - face.radiusY * 0.4},
                      face.radiusX * 1.6, face.radiusY * 1.6),
      0.0, 1.0);
  colour = mix(face.skinShade, face.skin, light);
  colour = mix(colour, face.skinShade, 0.35 * patternAt(face.skinPattern, p.x, p.y));

  // Cheeks.
  for (const Point& eye : {face.leftEye, face.rightEye}) {
    const Point cheek{eye.x + (eye.x < face.centre.x ? -0.3 : 0.3) * face.eyeRadius,
                      eye.y + face.eyeRadius * 2.2};
    const double d = std::hypot(p.x - cheek.x, p.y - cheek.y) / (face.eyeRadius * 1.1);
    if (d < 1) colour = mix(colour, Colour{240, 90, 110}, 0.35 * (1 - d));
  }

  // Brows: thick strokes above the eyes, tilted towards the nose.
  for (const Point& eye : {face.leftEye, face.rightEye}) {
    const double side = eye.x < face.centre.x ? -1 : 1;
    const Point inner{eye.x - side * face.eyeRadius * 0.9,
                      eye.y - face.browLift + face.eyeRadius * 0.2};
    const Point outer{eye.x + side * face.eyeRadius * 1.1,
                      eye.y - face.browLift - face.eyeRadius * 0.15};
    if (segmentDistance(p, inner, outer) < face.eyeRadius * 0.22) colour = scale(face.outline, 1.2);
  }

  // Eyes: white, a coloured iris with a darker rim, the pupil and a highlight.
  for (const Point& eye : {face.leftEye, face.rightEye}) {
    const double d = std::hypot(p.x - eye.x, p.y - eye.y) / face.eyeRadius;
    if (d >= 1.08) continue;
    if (d >= 1.0) {
      colour = face.outline;
      continue;
    }
    colour = Colour{250, 250, 245};
    const Point look{eye.x + face.eyeRadius * 0.12, eye.y + face.eyeRadius * 0.05};
    const double iris = std::hypot(p.x - look.x, p.y - look.y) / (face.eyeRadius * 0.58);
    if (iris < 1) colour = mix(face.iris, scale(face.iris, 0.55), iris * iris);
    if (iris < 0.45) colour = Colour{15, 10, 20};
    const Point glint{look.x - face.eyeRadius * 0.2, look.y - face.eyeRadius * 0.22};
    if (std::hypot(p.x - glint.x, p.y - glint.y) < face.eyeRadius * 0.13)
      colour = Colour{255, 255, 255};
  }

  // Nose: a shaded oval whose lowest point is the nose tip.
  const Point noseCentre{face.nose.x, face.nose.y - face.noseSize * 0.6};
  const double nose = ellipseDistance(p, noseCentre, face.noseSize * 0.8, face.noseSize * 0.6);
  if (nose < 1) colour = mix(scale(face.skinShade, 0.7), face.skinShade, nose);

  // Mouth: between two curves from corner to corner through the lips' middle points.
  const double span = face.mouthRight.x - face.mouthLeft.x;
  const double u = (p.x - face.mouthLeft.x) / span;
  if (u > 0 && u < 1) {
    const double line = face.mouthLeft.y + (face.mouthRight.y - face.mouthLeft.y) * u;
    const double bulge = 4 * u * (1 - u);
    const double top = line + (face.mouthTop - line) * bulge;
    const double bottom = line + (face.mouthBottom - line) * bulge;
    if (p.y > top - 1.5 && p.y < bottom + 1.5) {
      colour = scale(face.lips, 0.6);
      if (p.y > top && p.y < bottom) {
        colour = mix(Colour{70, 10, 25}, face.lips, 0.3);
        // Teeth along the upper lip.
        if (p.y < top + (bottom - top) * 0.3 && std::fmod(u * 8, 1.0) > 0.1) {
          colour = Colour{245, 245, 235};
        }
      }
    }
  }
  return colour;
}

// The control points, in one order for every face.
std::vector<Point> controlPoints(const Face& face) {
  constexpr double kDiagonal = 0.70710678;  // cos 45 degrees: halfway round the outline
  const Point middleOfMouth{(face.mouthLeft.x + face.mouthRight.x) / 2, 0};
  return {
      {face.centre.x, face.centre.y - face.radiusY},  // top of the head
      {face.centre.x, face.centre.y + face.radiusY},  // chin
      {face.centre.x - face.radiusX, face.centre.y},  // left side of the head
      {face.centre.x + face.radiusX, face.centre.y},  // right side of the head
      face.leftEar,
      face.rightEar,
      face.leftEye,
      face.rightEye,
      {face.leftEye.x, face.leftEye.y - face.browLift},    // left brow
      {face.rightEye.x, face.rightEye.y - face.browLift},  // right brow
      face.nose,
      face.mouthLeft,
      face.mouthRight,
      {middleOfMouth.x, face.mouthTop},
      {middleOfMouth.x, face.mouthBottom},
      {face.leftEye.x - face.eyeRadius, face.leftEye.y},    // outer corner of the left eye
      {face.rightEye.x + face.eyeRadius, face.rightEye.y},  // outer corner of the right eye
      // The outline between top, sides and chin, so that it travels as one line.
      {face.centre.x - face.radiusX * kDiagonal, face.centre.y - face.radiusY * kDiagonal},
      {face.centre.x + face.radiusX * kDiagonal, face.centre.y - face.radiusY * kDiagonal},
      {face.centre.x - face.radiusX * kDiagonal, face.centre.y + face.radiusY * kDiagonal},
      {face.centre.x + face.radiusX * kDiagonal, face.centre.y + face.radiusY * kDiagonal},
  };
}

std::vector<Face> demoFaces() {
  std::vector<Face> faces(5);
  // A round sunny face in the middle, smiling under a cloudy blue sky.
  faces[0] = Face{{128, 134},
                  82,
                  80,
                  EarShape::Round,
                  {58, 62},
                  {198, 62},
                  20,
                  {100, 112},
                  {156, 112},
                  15,
                  24,
                  {128, 146},
                  10,
                  {92, 170},
                  {164, 170},
                  174,
                  196,
                  {40, 110, 210},
                  {170, 215, 250},
                  Pattern::Clouds,
                  {255, 214, 70},
                  {225, 140, 30},
                  {60, 140, 60},
                  {210, 50, 60},
                  {90, 50, 10},
                  Pattern::Clouds};
  // A tall green creature to the left, big eyes high up, a small round mouth, purple stripes.
  faces[1] = Face{{104, 140},
                  58,
                  100,
                  EarShape::Long,
                  {52, 22},
                  {140, 18},
                  22,
                  {82, 96},
                  {126, 94},
                  19,
                  26,
                  {104, 150},
                  8,
                  {94, 196},
                  {116, 196},
                  190,
                  210,
                  {70, 20, 90},
                  {200, 120, 200},
                  Pattern::Stripes,
                  {120, 200, 90},
                  {40, 110, 50},
                  {220, 60, 40},
                  {120, 30, 80},
                  {20, 50, 20},
                  Pattern::Waves};
  // A striped orange cat low and to the right, under a starry night.
  faces[2] = Face{{150, 160},
                  86,
                  70,
                  EarShape::Pointed,
                  {84, 62},
                  {214, 64},
                  26,
                  {120, 148},
                  {180, 148},
                  16,
                  20,
                  {150, 176},
                  9,
                  {112, 196},
                  {188, 196},
                  192,
                  208,
                  {5, 10, 45},
                  {30, 50, 110},
                  Pattern::Stars,
                  {250, 170, 70},
                  {190, 90, 20},
                  {110, 220, 60},
                  {200, 80, 100},
                  {60, 30, 5},
                  Pattern::Stripes};
  // A wide pale-blue face at the top, small eyes far apart, a broad grin, red checks.
  faces[3] = Face{{128, 104},
                  112,
                  66,
                  EarShape::Round,
                  {36, 52},
                  {220, 52},
                  16,
                  {80, 92},
                  {176, 92},
                  13,
                  20,
                  {128, 112},
                  12,
                  {64, 128},
                  {192, 128},
                  130,
                  156,
                  {150, 20, 30},
                  {250, 160, 110},
                  Pattern::Checks,
                  {190, 220, 250},
                  {90, 130, 200},
                  {140, 80, 30},
                  {230, 70, 90},
                  {20, 40, 90},
                  Pattern::Clouds};
  // A small pink face up and to the left, frowning, on a sea-green wave pattern.
  faces[4] = Face{{96, 98},
                  62,
                  62,
                  EarShape::Pointed,
                  {46, 40},
                  {148, 42},
                  18,
                  {74, 86},
                  {118, 86},
                  12,
                  18,
                  {96, 110},
                  11,
                  {70, 136},
                  {122, 136},
                  126,
                  140,
                  {10, 90, 90},
                  {140, 230, 200},
                  Pattern::Waves,
                  {250, 180, 200},
                  {200, 100, 140},
                  {40, 90, 200},
                  {150, 20, 60},
                  {90, 20, 50},
                  Pattern::Checks};
  return faces;
}

// 4 x 4 samples a pixel, for smooth edges.
std::vector<Rgb> paint(const Face& face) {
  std::vector<Rgb> pixels(kPicturePixels);
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < kPictureSide; ++x) {
      Colour sum{0, 0, 0};
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          const Colour c = colourAt(face, {x + (sx + 0.5) / 4, y + (sy + 0.5) / 4});
          sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
        }
      }
      auto channel = [](double v) { return static_cast<uint8_t>(std::clamp(v / 16, 0.0, 255.0)); };
      pixels[y * kPictureSide + x] = Rgb{channel(sum.r), channel(sum.g), channel(sum.b)};
    }
  }
  return pixels;
}

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string why;
  if (replaceFile(path, bytes.data(), bytes.size(), &why) == 0) return true;
  std::fprintf(stderr, "demo_painter: %s: %s\n", path.c_str(), why.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo_painter DIR\n");
    return 1;
  }
  const std::string directory = argv[1];
  const std::vector<Face> faces = demoFaces();
  std::vector<std::vector<Point>> points;
  for (size_t n = 0; n < faces.size(); ++n) {
    if (!write(directory + "/face" + std::to_string(n) + ".bmp",
               encodeBmp(paint(faces[n]).data()))) {
      return 1;
    }
    points.push_back(controlPoints(faces[n]));
  }
  std::string text = "# One line per control point: x y on face0, face1, ... in order.\n";
  for (size_t t = 0; t < points[0].size(); ++t) {
    for (size_t n = 0; n < faces.size(); ++n) {
      const long x = std::clamp(std::lround(points[n][t].x), 0L, 255L);
      const long y = std::clamp(std::lround(points[n][t].y), 0L, 255L);
      text += (n ? "  " : "") + std::to_string(x) + " " + std::to_string(y);
    }
    text += "\n";
  }
  return write(directory + "/points.txt", std::vector<uint8_t>(text.begin(), text.end())) ? 0 : 1;
}
