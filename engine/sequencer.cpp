// The transition sequencer: a loaded project becomes an endless chain of transitions, each
// `speed` frames long, in which the grid mesh moves from its shape in one picture to its shape in
// the next while the source picture fades out over the target picture.
//
// All of it is single-precision arithmetic: every value below is a float and every operation is
// rounded to a float on its own (the build has no fused multiply-add and no fast-math).
#include <cstdlib>

#include "engine/morph_engine.h"

namespace {

// A project file may hold any quality and speed. The tables have room for quality 1..64 and a
// speed below 1 would divide by zero, so playback runs such a file at the nearest value that
// works. The engine's own fields keep what the file holds (the player never changes the
// project's settings); only the playback uses the clamped values. Within range nothing changes.
int32_t playableQuality(int32_t quality) {
  if (quality < 1) return 1;
  if (quality > kMaxQuality) return kMaxQuality;
  return quality;
}

int32_t playableSpeed(int32_t speed) {
  return speed < 1 ? 1 : speed;
}

// The Glide dither mode for the engine's dither setting; -1 where the setting has none, so that
// the board keeps the dither mode it has.
GrDitherMode_t glideDitherMode(int32_t ditherMode) {
  switch (ditherMode) {
    case 0:
      return GR_DITHER_2x2;
    case 1:
      return GR_DITHER_4x4;
    case 2:
      return GR_DITHER_DISABLE;
    default:
      return -1;
  }
}

}  // namespace

int32_t MorphEngine::preparePlayback() {
  // Both programs stop before a playback of fewer than two pictures; should one get here, it is
  // refused before anything opens, since no transition (nor a random choice) exists.
  if (pictureCount < 2) return 1;
  const int32_t q = playableQuality(quality);
  quadCount = q * q;
  vertexCount = (q + 1) * (q + 1);

  // The solver lays its grid at `quality` cells a side; it must see the clamped value too.
  const int32_t storedQuality = quality;
  quality = q;
  solveWarpField();
  quality = storedQuality;

  if (openDisplay(playSize) != 0) return 1;
  const GrDitherMode_t dither = glideDitherMode(ditherMode);
  if (dither >= 0) setDitherMode(dither);
  // Picture k lands k pictures above the lowest texture address.
  for (int32_t k = 0; k < pictureCount; ++k) downloadTexture(pictures[k]);

  // Every playback starts with a transition out of picture 0, whatever the play mode.
  fromPicture = &pictures[0];
  toPicture = &pictures[0];
  sequencePos = 0;
  sequenceStep = 1;
  startNextTransition();
  return 0;
}

void MorphEngine::startNextTransition() {
  const int32_t n = pictureCount;
  frameInTransition = 0;
  fromPicture = toPicture;
  sequencePos += sequenceStep;

  switch (playMode) {
    case 0:  // loop: the counter keeps growing, the picture cycles
      toPicture = &pictures[sequencePos % n];
      break;
    case 1:  // ping-pong: turn at either end, for the transition after this one
      if (sequencePos >= n - 1) {
        sequenceStep = -1;
      } else if (sequencePos <= 0) {
        sequenceStep = 1;
      }
      toPicture = &pictures[sequencePos];
      break;
    case 2: {  // random: never the picture just reached
      int32_t r = std::rand() % n;
      while (r == fromPicture->index) r = std::rand() % n;
      toPicture = &pictures[r];
      break;
    }
    default:  // any other mode stands still: the picture morphs onto itself
      break;
  }

  const float frames = static_cast<float>(playableSpeed(speed));
  // The play square the display opened: a file's play size outside 10..1200 is clamped there,
  // and the mesh must fill the square that is actually drawn.
  const float scale = static_cast<float>(viewSize) / 256.0f;
  fadeAlpha = 255.0f;
  fadeStep = -255.0f / frames;

  const MeshPoint* from = fromPicture->mesh.get();
  const MeshPoint* to = toPicture->mesh.get();
  for (int32_t v = 0; v < vertexCount; ++v) {
    MeshVertexState& state = vertexStates[v];
    state.x = from[v].x * scale;
    state.y = from[v].y * scale;
    state.dx = (to[v].x * scale - state.x) / frames;
    state.dy = (to[v].y * scale - state.y) / frames;
  }
}

void MorphEngine::playFrame() {
  const MeshPoint* target = toPicture->mesh.get();
  const MeshPoint* source = fromPicture->mesh.get();
  const MeshVertexState* at = vertexStates.get();
  // The target goes down opaque, then the source over it with the fading alpha, cell by cell.
  for (int32_t i = 0; i < quadCount; ++i) {
    const int32_t a = quads[i].v[0];
    const int32_t b = quads[i].v[1];
    const int32_t c = quads[i].v[2];
    const int32_t d = quads[i].v[3];
    drawQuad(at[a].x, at[a].y, at[b].x, at[b].y, at[c].x, at[c].y, at[d].x, at[d].y, target[a].x,
             target[a].y, target[b].x, target[b].y, target[c].x, target[c].y, target[d].x,
             target[d].y, 255.0f, *toPicture);
    drawQuad(at[a].x, at[a].y, at[b].x, at[b].y, at[c].x, at[c].y, at[d].x, at[d].y, source[a].x,
             source[a].y, source[b].x, source[b].y, source[c].x, source[c].y, source[d].x,
             source[d].y, fadeAlpha, *fromPicture);
  }
  skipFrame();
  swapBuffers();
}

void MorphEngine::skipFrame() {
  for (int32_t v = 0; v < vertexCount; ++v) {
    vertexStates[v].x += vertexStates[v].dx;
    vertexStates[v].y += vertexStates[v].dy;
  }
  fadeAlpha += fadeStep;

  ++frameInTransition;
  if (frameInTransition >= playableSpeed(speed)) startNextTransition();
}

void MorphEngine::endPlayback() {
  resetTextureMemory();
  closeDisplay();
}
