// What the playback tests share: engines with pictures and reading the recorded Glide calls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "glide/call_log.h"
#include "support/test_pictures.h"

namespace playback_test {

using glide::CallLog;
using glide::GlideCall;

// Adds `count` pictures of one colour each (picture k has colour 0x0841 * (k + 1)).
inline void addPictures(MorphEngine& engine, int count) {
  for (int k = 0; k < count; ++k) {
    ASSERT_EQ(
        engine.insertPicture(testing_support::solidPicture(static_cast<uint16_t>(0x0841 * (k + 1))),
                             engine.pictureCount),
        0);
  }
}

// The recorded calls named `name`, in order.
inline std::vector<glide::GlideCall> callsNamed(const glide::CallLog& log,
                                                const std::string& name) {
  std::vector<glide::GlideCall> found;
  for (const glide::GlideCall& call : log.calls()) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

// One corner of a recorded guDrawTriangleWithClip: x, y, oow, sow, tow, tmu oow.
struct Corner {
  double x, y, oow, s, t, tmuOow;
};
inline Corner cornerOf(const glide::GlideCall& triangle, int corner) {
  const double* a = triangle.args.data() + corner * 6;
  return {a[0], a[1], a[2], a[3], a[4], a[5]};
}

}  // namespace playback_test
