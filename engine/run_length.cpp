#include "engine/run_length.h"

#include <cstring>

namespace {

constexpr int32_t kMaxPacketUnits = 128;
constexpr uint8_t kRunFlag = 0x80;

// Appends `count` units starting at `first` as literal packets of 128 and then the rest.
uint8_t* putLiterals(const uint8_t* first, int32_t count, size_t unitSize, uint8_t* out) {
  while (count > 0) {
    const int32_t units = count < kMaxPacketUnits ? count : kMaxPacketUnits;
    *out++ = static_cast<uint8_t>(units - 1);
    const size_t bytes = static_cast<size_t>(units) * unitSize;
    std::memcpy(out, first, bytes);
    out += bytes;
    first += bytes;
    count -= units;
  }
  return out;
}

uint8_t* putRun(const uint8_t* unit, int32_t count, size_t unitSize, uint8_t* out) {
  *out++ = static_cast<uint8_t>(kRunFlag + (count - 1));
  std::memcpy(out, unit, unitSize);
  return out + unitSize;
}

template <typename SameUnit>
int32_t packWith(int32_t unitCount, size_t unitSize, const uint8_t* units, uint8_t* out,
                 SameUnit same) {
  uint8_t* const start = out;
  // The literal units waiting for the next run packet (or the end): always a contiguous range.
  int32_t literalStart = 0;
  int32_t literalCount = 0;
  int32_t i = 0;
  while (i < unitCount) {
    const uint8_t* unit = units + static_cast<size_t>(i) * unitSize;
    int32_t length = 1;
    while (i + length < unitCount && same(unit, unit + static_cast<size_t>(length) * unitSize)) {
      ++length;
    }
    if (length == 1) {
      if (literalCount == 0) literalStart = i;
      ++literalCount;
      ++i;
      continue;
    }
    out = putLiterals(units + static_cast<size_t>(literalStart) * unitSize, literalCount, unitSize,
                      out);
    literalCount = 0;
    for (int32_t full = length / kMaxPacketUnits; full > 0; --full) {
      out = putRun(unit, kMaxPacketUnits, unitSize, out);
    }
    const int32_t rest = length % kMaxPacketUnits;
    if (rest >= 2) {
      out = putRun(unit, rest, unitSize, out);
    } else if (rest == 1) {
      // A single unit left over from a long run starts the next literal group.
      literalStart = i + length - 1;
      literalCount = 1;
    }
    i += length;
  }
  out = putLiterals(units + static_cast<size_t>(literalStart) * unitSize, literalCount, unitSize,
                    out);
  return static_cast<int32_t>(out - start);
}

}  // namespace

int32_t packUnits(int32_t unitCount, int32_t unitSize, const uint8_t* units, uint8_t* out) {
  if (unitCount <= 0 || unitSize <= 0) return 0;
  if (unitSize == 2) {
    // Pixels: one 16-bit comparison instead of a byte loop.
    return packWith(unitCount, 2, units, out, [](const uint8_t* a, const uint8_t* b) {
      uint16_t x;
      uint16_t y;
      std::memcpy(&x, a, 2);
      std::memcpy(&y, b, 2);
      return x == y;
    });
  }
  const size_t size = static_cast<size_t>(unitSize);
  return packWith(unitCount, size, units, out, [size](const uint8_t* a, const uint8_t* b) {
    return std::memcmp(a, b, size) == 0;
  });
}

UnpackResult unpackBlock(int32_t unitCount, int32_t unitSize, const uint8_t* packets,
                         size_t packedLength, uint8_t* dest) {
  if (unitCount <= 0) return UnpackResult::complete;
  if (unitSize <= 0) return UnpackResult::pastPackets;  // no packet can be read
  const size_t unitBytes = static_cast<size_t>(unitSize);
  size_t remaining = static_cast<size_t>(unitCount);
  size_t pos = 0;
  uint8_t* to = dest;
  while (remaining > 0) {
    if (pos >= packedLength) return UnpackResult::pastPackets;
    const uint8_t header = packets[pos++];
    const size_t count = static_cast<size_t>(header & 0x7F) + 1;
    if (count > remaining) return UnpackResult::pastUnits;
    if (header & kRunFlag) {
      if (packedLength - pos < unitBytes) return UnpackResult::pastPackets;
      const uint8_t* unit = packets + pos;
      pos += unitBytes;
      if (unitBytes == 2) {
        for (size_t c = 0; c < count; ++c, to += 2) std::memcpy(to, unit, 2);
      } else {
        for (size_t c = 0; c < count; ++c, to += unitBytes) std::memcpy(to, unit, unitBytes);
      }
    } else {
      const size_t bytes = count * unitBytes;
      if (packedLength - pos < bytes) return UnpackResult::pastPackets;
      std::memcpy(to, packets + pos, bytes);
      pos += bytes;
      to += bytes;
    }
    remaining -= count;
  }
  return UnpackResult::complete;
}

int32_t unpackUnits(int32_t unitCount, int32_t unitSize, const uint8_t* packets,
                    size_t packedLength, uint8_t* dest) {
  return unpackBlock(unitCount, unitSize, packets, packedLength, dest) == UnpackResult::complete
             ? 1
             : 0;
}
