// The warp solver's kernel, written once for any lane width. Included only by the kernel files
// (warp_kernel_*.cpp), each inside an anonymous namespace with its own `Lanes` type:
//
//   Doubles, Floats             kCount doubles / floats; + - * / act lane by lane, each result
//                               rounded on its own (no contraction: -ffp-contract=off)
//   zeroDoubles(), zeroFloats() all lanes +0
//   broadcast(double)           all lanes the value
//   loadFloats, loadDoubles, storeFloats, storeDoubles   kCount consecutive values
//   widen(Floats), narrow(Doubles)   exact widening; rounding to float (to nearest)
//   squareRoot(Doubles)         correctly rounded, lane by lane
//
// Every operation here is correctly rounded IEEE arithmetic on one lane, so a lane computes
// exactly what the straightforward scalar loop computes for its vertex.

template <class Lanes>
void solveWarpBlock(const WarpJob& job, int32_t firstVertex, double* weights) {
  using Doubles = typename Lanes::Doubles;
  using Floats = typename Lanes::Floats;
  constexpr int kLanes = Lanes::kCount;
  constexpr int kVectors = kWarpBlock / kLanes;
  // Vertices whose running sums stay in registers while the terms of one picture go by.
  constexpr int kGroupVectors = kVectors < 4 ? kVectors : 4;
  constexpr int kGroup = kGroupVectors * kLanes;
  static_assert(kWarpBlock % kGroup == 0);

  const float* gridX = job.gridX + firstVertex;
  const float* gridY = job.gridY + firstVertex;
  const Doubles one = Lanes::broadcast(1.0);

  // The weight of every control point at every vertex of the block, and the weight sums W:
  // the points in index order, then the border anchors in theirs.
  Doubles weightSum[kVectors];
  for (int v = 0; v < kVectors; ++v) weightSum[v] = Lanes::zeroDoubles();
  for (int32_t t = 0; t < job.pointCount; ++t) {
    const Doubles meanX = Lanes::broadcast(job.meanX[t]);
    const Doubles meanY = Lanes::broadcast(job.meanY[t]);
    double* pointWeights = weights + t * kWarpBlock;
    for (int v = 0; v < kVectors; ++v) {
      const Doubles dx = Lanes::widen(Lanes::loadFloats(gridX + v * kLanes)) - meanX;
      const Doubles dy = Lanes::widen(Lanes::loadFloats(gridY + v * kLanes)) - meanY;
      const Doubles d = Lanes::squareRoot(dy * dy + dx * dx);
      const Doubles w = one / (d * d + one);
      Lanes::storeDoubles(pointWeights + v * kLanes, w);
      weightSum[v] = w + weightSum[v];
    }
  }
  // The border anchors' terms join `sums`, vectors firstVector to firstVector + count - 1.
  const auto addAnchors = [&](Doubles* sums, int firstVector, int count) {
    const Doubles hundredth = Lanes::broadcast(0.01);
    for (int32_t k = 0; k < job.anchorCount; ++k) {
      const int32_t anchor = job.anchors[k];
      const Doubles anchorX = Lanes::broadcast(job.gridX[anchor]);
      const Doubles anchorY = Lanes::broadcast(job.gridY[anchor]);
      for (int v = 0; v < count; ++v) {
        const int at = (firstVector + v) * kLanes;
        const Doubles dx = Lanes::widen(Lanes::loadFloats(gridX + at)) - anchorX;
        const Doubles dy = Lanes::widen(Lanes::loadFloats(gridY + at)) - anchorY;
        const Doubles e = Lanes::squareRoot(dy * dy + dx * dx);
        sums[v] = one / (e * e * e + hundredth) + sums[v];
      }
    }
  };
  addAnchors(weightSum, 0, kVectors);

  // Per picture, the sums Sx and Sy, a float after every addition, then the positions.
  for (int group = 0; group < kWarpBlock; group += kGroup) {
    const int32_t remaining = job.vertexCount - (firstVertex + group);
    if (remaining <= 0) break;
    const int count = remaining < kGroup ? remaining : kGroup;
    for (int32_t n = 0; n < job.pictureCount; ++n) {
      Floats sumX[kGroupVectors];
      Floats sumY[kGroupVectors];
      for (int v = 0; v < kGroupVectors; ++v) sumX[v] = sumY[v] = Lanes::zeroFloats();
      for (int32_t k = job.termBegin[n]; k < job.termBegin[n + 1]; ++k) {
        const double* w = weights + job.termPoint[k] * kWarpBlock + group;
        const Doubles dx = Lanes::broadcast(job.termDx[k]);
        const Doubles dy = Lanes::broadcast(job.termDy[k]);
        // Unrolled, so that the sums stay in registers rather than going through memory.
#pragma GCC unroll 8
        for (int v = 0; v < kGroupVectors; ++v) {
          const Doubles wv = Lanes::loadDoubles(w + v * kLanes);
          sumX[v] = Lanes::narrow(dx * wv + Lanes::widen(sumX[v]));
          sumY[v] = Lanes::narrow(dy * wv + Lanes::widen(sumY[v]));
        }
      }
      // A picture that does not take some points (a broken value in a file) sums its own W
      // without them, in the same order.
      Doubles ownWeightSum[kGroupVectors];
      const Doubles* weightTotal = weightSum + group / kLanes;
      int32_t absent = job.absentBegin[n];
      if (absent < job.absentBegin[n + 1]) {
        for (int v = 0; v < kGroupVectors; ++v) ownWeightSum[v] = Lanes::zeroDoubles();
        for (int32_t t = 0; t < job.pointCount; ++t) {
          if (absent < job.absentBegin[n + 1] && job.absentPoint[absent] == t) {
            ++absent;
            continue;
          }
          const double* w = weights + t * kWarpBlock + group;
          for (int v = 0; v < kGroupVectors; ++v) {
            ownWeightSum[v] = Lanes::loadDoubles(w + v * kLanes) + ownWeightSum[v];
          }
        }
        addAnchors(ownWeightSum, group / kLanes, kGroupVectors);
        weightTotal = ownWeightSum;
      }
      alignas(64) float positionX[kGroup];
      alignas(64) float positionY[kGroup];
      for (int v = 0; v < kGroupVectors; ++v) {
        const Doubles total = weightTotal[v];
        const Floats shiftX = Lanes::narrow(Lanes::widen(sumX[v]) / total);
        const Floats shiftY = Lanes::narrow(Lanes::widen(sumY[v]) / total);
        const Doubles baseX = Lanes::widen(Lanes::loadFloats(gridX + group + v * kLanes));
        const Doubles baseY = Lanes::widen(Lanes::loadFloats(gridY + group + v * kLanes));
        Lanes::storeFloats(positionX + v * kLanes, Lanes::narrow(Lanes::widen(shiftX) + baseX));
        Lanes::storeFloats(positionY + v * kLanes, Lanes::narrow(Lanes::widen(shiftY) + baseY));
      }
      MeshPoint* mesh = job.meshes[n] + firstVertex + group;
      for (int j = 0; j < count; ++j) mesh[j] = MeshPoint{positionX[j], positionY[j]};
    }
  }
}
