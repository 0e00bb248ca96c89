// The points file of `kzmtool new`: one line per control point with an x and y pair for every
// picture in order, whitespace-separated; "#" starts a comment; blank lines are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PointPlacement {
  int32_t x;
  int32_t y;
};

// points[t][n]: where point t lies on picture n. Coordinates are whole pixels from 0 to 255;
// at most 500 points. False with "FILE:LINE: reason" (or the file's own error) otherwise.
bool readPointsFile(const std::string& path, int32_t pictureCount,
                    std::vector<std::vector<PointPlacement>>& points, std::string& error);
