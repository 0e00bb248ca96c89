// kzmtool info: what a project holds, for people or (--json) for programs.
#include <charconv>
#include <cmath>
#include <string>

#include "engine/morph_engine.h"
#include "engine/warp_solver.h"
#include "tools/commands.h"

namespace {

// The shortest text that reads back as the same float; JSON has no NaN or infinity, so those
// become null there.
std::string formatCoordinate(float value, bool json) {
  if (json && !std::isfinite(value)) return "null";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string flagName(uint8_t inherited) {
  if (inherited == 0) return "placed";
  if (inherited == 1) return "inherited";
  return "flag " + std::to_string(inherited);
}

std::string describe(const MorphEngine& engine) {
  std::string out;
  out += "pictures   " + std::to_string(engine.pictureCount) + "\n";
  out += "points     " + std::to_string(engine.pointCount) + "\n";
  out += "play mode  " + playModeName(engine.playMode) + "\n";
  out += "quality    " + std::to_string(engine.quality) + "\n";
  out += "speed      " + std::to_string(engine.speed) + "\n";
  out += "play size  " + std::to_string(engine.playSize) + "\n";
  for (int32_t n = 0; n < engine.pictureCount; ++n) {
    out += "picture " + std::to_string(n) + "\n";
    for (int32_t t = 0; t < engine.pointCount; ++t) {
      const ControlPoint& point = engine.getPoint(n, t);
      out += "  point " + std::to_string(t) + "  " + formatCoordinate(point.x, false) + " " +
             formatCoordinate(point.y, false) + "  " + flagName(point.inherited);
      // Kept in the file as it is, but the warp cannot use it.
      if (!warpTakesPoint(point)) out += "  left out of the warp";
      out += "\n";
    }
  }
  return out;
}

std::string describeJson(const MorphEngine& engine) {
  std::string out = "{";
  out += "\"pictureCount\": " + std::to_string(engine.pictureCount);
  out += ", \"pointCount\": " + std::to_string(engine.pointCount);
  out += ", \"playMode\": " + std::to_string(engine.playMode);
  out += ", \"quality\": " + std::to_string(engine.quality);
  out += ", \"speed\": " + std::to_string(engine.speed);
  out += ", \"playSize\": " + std::to_string(engine.playSize);
  out += ", \"pictures\": [";
  for (int32_t n = 0; n < engine.pictureCount; ++n) {
    out += n == 0 ? "{\"points\": [" : ", {\"points\": [";
    std::string leftOut;
    for (int32_t t = 0; t < engine.pointCount; ++t) {
      const ControlPoint& point = engine.getPoint(n, t);
      out += t == 0 ? "[" : ", [";
      out += formatCoordinate(point.x, true) + ", " + formatCoordinate(point.y, true) + ", " +
             std::to_string(point.inherited) + "]";
      if (!warpTakesPoint(point)) leftOut += (leftOut.empty() ? "" : ", ") + std::to_string(t);
    }
    out += "]";
    // Only where there are any, so that a sound project reads as it always did.
    if (!leftOut.empty()) out += ", \"leftOut\": [" + leftOut + "]";
    out += "}";
  }
  out += "]}\n";
  return out;
}

}  // namespace

int runInfo(const Arguments& args) {
  MorphEngine& engine = toolEngine();
  if (!loadProjectOrReport(engine, args.positional[0])) return 1;
  const std::string text = args.has("--json") ? describeJson(engine) : describe(engine);
  return writeToStandardOutput(text.data(), text.size()) ? 0 : 1;
}
