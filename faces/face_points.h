// Face points in a project: the 68 points of each picture's face, added after the project's
// own points, so that a face morph needs only the few points that are off moved by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "faces/face_finder.h"

class MorphEngine;

// Why the project cannot take face points at all, or "" when it can: it has no pictures, or
// 68 more points would pass the 500 a project holds.
std::string facePointsRefusal(const MorphEngine& engine);

// Per picture: -1 where a face was found and its points were placed there, otherwise the
// picture whose points it got as inherited copies.
using FaceSources = std::vector<int32_t>;

// Adds 68 points after the existing ones (shapes: one per picture, at least one not empty; the
// project has room). Where a picture has a shape, the points are placed at its landmarks,
// rounded to whole pixels and kept inside the picture; every other picture gets inherited
// copies of the points of the nearest picture with a face (the earlier of two as near).
FaceSources placeFacePoints(MorphEngine& engine,
                            const std::vector<std::optional<FaceShape>>& shapes);

// Looks for faces on the chosen pictures (chosen[n]; all of them when `chosen` is empty; the
// others count as pictures without a face) and places the points as placeFacePoints does.
// FaceSearch::failed with *whyNot, and the project as it was, when the project cannot take the
// points, the model cannot be loaded or no chosen picture shows a face; FaceSearch::cancelled,
// the project as it was, when `progress` said so.
FaceSearch addFacePoints(MorphEngine& engine, const std::vector<bool>& chosen, FaceSources& sources,
                         std::string* whyNot, const FaceProgress& progress = {});

// What happened to one picture: "picture 3: face found", or "picture 4: no face found; its 68
// points are copies from picture 3 to place by hand".
std::string facePointsLine(int32_t picture, int32_t source);
