// The morph engine: one object that holds the whole project (pictures, control points,
// settings), the animation state of a playback and, as its base part, the display state.
// Each program keeps exactly one in static storage; tests make as many as they like.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/picture.h"
#include "glide/glide_display.h"

class MorphEngine : public GlideDisplay {
 public:
  MorphEngine();
  MorphEngine(const MorphEngine&) = delete;
  MorphEngine& operator=(const MorphEngine&) = delete;

  // ---- Project model -------------------------------------------------------------------------

  // Inserts `image` at `position` (0..pictureCount; pictureCount appends) and gives the new
  // picture inherited copies of a neighbour's points. Returns 0 when inserted: the engine then
  // owns the image and `image` is empty. Returns 1 when refused (position out of range, or 50
  // pictures present): nothing changes and `image` still holds the picture.
  int32_t insertPicture(std::unique_ptr<PictureImage>&& image, int32_t position);
  void deletePicture(int32_t picture);
  void clearProject();
  // Adds a point placed at (x, y) on `picture` and inherited at the same place on every other
  // picture. Returns its index; -1 for an invalid picture or when 500 points are present.
  int32_t addPoint(int32_t picture, int32_t x, int32_t y);
  void movePoint(int32_t picture, int32_t point, int32_t x, int32_t y);
  void deletePoint(int32_t point);
  // The lowest point index within 4 pixels (exclusive) of (x, y) on both axes, or -1.
  int32_t findPointNear(int32_t picture, int32_t x, int32_t y) const;
  // The stored point, or noPoint for indices out of range.
  const ControlPoint& getPoint(int32_t picture, int32_t point) const;
  // The picture's pixels, or nullptr for an index out of range.
  const PictureImage* getPictureImage(int32_t picture) const;

  // ---- Project file (engine/project_file.cpp) ------------------------------------------------

  // Writes the project to `path`, atomically: the old file stays intact unless every byte of
  // the new one was written. 0 on success; otherwise nonzero and, when given, *whyNot says why.
  int32_t saveProject(const std::string& path, std::string* whyNot = nullptr) const;
  // Replaces the project by the file's content. The whole file is read and checked first; a
  // file that cannot be read or is not a well-formed project leaves the project untouched and
  // returns nonzero with the reason in *whyNot. 0 on success.
  int32_t loadProject(const std::string& path, std::string* whyNot = nullptr);

  // ---- Warp field (engine/warp_solver.cpp) ---------------------------------------------------

  // Lays the (quality+1)^2 grid over every picture from the control points; fills each
  // picture's mesh, quads and quadCount. Needs vertexCount == (quality+1)^2, quality 1..64.
  void solveWarpField();

  // ---- Playback (engine/sequencer.cpp) -------------------------------------------------------

  // 0 when the playback is ready; 1 when the display could not be opened (message shown).
  int32_t preparePlayback();
  void startNextTransition();
  void playFrame();
  // Moves the playback on by one frame without drawing it, exactly as playFrame moves it.
  void skipFrame();
  void endPlayback();

  // ---- Picture files (engine/bmp_import.cpp, engine/tga_export.cpp) --------------------------

  // Reads a 256 x 256 24-bit BMP; on refusal shows "Sorry!\n Image must be 256x256x24" and
  // returns nullptr.
  std::unique_ptr<PictureImage> importBmp(const std::string& path);
  // Writes the play square on display as a 24-bit TGA file.
  void saveFrameTga(const std::string& path);
  // 0 when written; nonzero when the file could not be written, with the reason in *whyNot.
  int32_t writeTgaFile(const std::string& path, int32_t depth, std::string* whyNot = nullptr);

  // ---- Fields, in the order of the original layout (GlideDisplay's four come first) ----------

  int32_t vertexCount = 0;        // grid vertices in use, (quality+1)^2
  int32_t quadCount = 0;          // grid cells in use, quality^2
  int32_t frameInTransition = 0;  // frames drawn in the current transition
  int32_t sequencePos = 0;        // position counter of the sequence
  int32_t sequenceStep = 0;       // +1, or -1 in ping-pong
  float fadeAlpha = 0.0f;         // alpha of the source picture in the current frame, 0..255
  float fadeStep = 0.0f;          // -255/speed
  std::unique_ptr<PictureSlot[]> pictures;  // kMaxPictures slots; 0..pictureCount-1 in use
  PictureSlot* fromPicture = nullptr;       // source picture of the current transition
  PictureSlot* toPicture = nullptr;         // target picture of the current transition
  std::unique_ptr<MeshVertexState[]> vertexStates;  // kMaxVertices entries
  std::unique_ptr<MeshQuad[]> quads;                // kMaxQuads entries
  ControlPoint noPoint{};   // what getPoint hands out for an index out of range
  int32_t pointCount = 0;    // control points per picture, the same on every picture
  int32_t pictureCount = 0;  // pictures in the sequence, 0..50
  int32_t quality = 0;       // grid cells per side, 1..64
  int32_t speed = 0;         // frames per transition
  int32_t playSize = 0;      // requested side of the play square in screen pixels
  int32_t playMode = 0;      // 0 loop, 1 ping-pong, 2 random
  int32_t ditherMode = 0;    // 0 2x2, 1 4x4, 2 none
};
