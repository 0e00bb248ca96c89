// The points file of `kzmtool new`: one line per control point with an x and y pair for every
// picture in order, whitespace-separated; "#" starts a comment; blank lines are skipped. The
// positions are written as `kzmtool info` prints them: whole pixels, fractions, negative values
// and values beyond the picture all stand, as the project file holds each as a float.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PointPlacement {
  float x;
  float y;
};

// points[t][n]: where point t lies on picture n; at most 500 points. False with "FILE:LINE:
// reason" (or the file's own error) otherwise.
bool readPointsFile(const std::string& path, int32_t pictureCount,
                    std::vector<std::vector<PointPlacement>>& points, std::string& error);
