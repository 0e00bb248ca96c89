#include "tools/points_file.h"

#include <charconv>
#include <sstream>

#include "engine/file_io.h"
#include "engine/picture.h"

namespace {

// A coordinate as `kzmtool info` prints it: any number a float holds, in decimal or exponent
// form, "nan" and "inf" included, since a project file may hold them.
bool parseCoordinate(const std::string& text, float& value) {
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value, std::chars_format::general);
  return !text.empty() && status == std::errc() && stop == end;
}

}  // namespace

bool readPointsFile(const std::string& path, int32_t pictureCount,
                    std::vector<std::vector<PointPlacement>>& points, std::string& error) {
  // 500 lines of 50 pairs of numbers fit many times over.
  constexpr size_t kMaxFileBytes = 4 << 20;
  std::vector<uint8_t> bytes;
  std::string why;
  if (readFileStart(path, kMaxFileBytes + 1, bytes, &why) != 0) {
    error = path + ": " + why;
    return false;
  }
  if (bytes.size() > kMaxFileBytes) {
    error = path + ": too large for a points file";
    return false;
  }
  const std::string contents(bytes.begin(), bytes.end());
  points.clear();
  std::istringstream lines(contents);
  std::string line;
  for (int lineNumber = 1; std::getline(lines, line); ++lineNumber) {
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::vector<std::string> numbers;
    for (std::string field; fields >> field;) numbers.push_back(field);
    if (numbers.empty()) continue;
    if (numbers.size() != static_cast<size_t>(2 * pictureCount)) {
      error = where + "expected " + std::to_string(2 * pictureCount) +
              " numbers (x y for each of " + std::to_string(pictureCount) + " pictures), found " +
              std::to_string(numbers.size());
      return false;
    }
    if (points.size() == static_cast<size_t>(kMaxPoints)) {
      error = where + "a project holds at most " + std::to_string(kMaxPoints) + " points";
      return false;
    }
    std::vector<PointPlacement> point(pictureCount);
    for (int32_t n = 0; n < pictureCount; ++n) {
      for (int axis = 0; axis < 2; ++axis) {
        const std::string& text = numbers[2 * n + axis];
        float& value = axis == 0 ? point[n].x : point[n].y;
        if (!parseCoordinate(text, value)) {
          error = where + "'" + text + "' is not a position (a number such as 12, 12.5 or -3)";
          return false;
        }
      }
    }
    points.push_back(std::move(point));
  }
  return true;
}
