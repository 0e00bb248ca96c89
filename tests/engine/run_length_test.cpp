// The run-length packets of picture blocks.
#include "engine/run_length.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

using ::testing::ElementsAreArray;

namespace {

using Bytes = std::vector<uint8_t>;

// 16-bit units as their little-endian bytes.
Bytes unitsOf(const std::vector<uint16_t>& values) {
  Bytes bytes;
  for (uint16_t v : values) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  return bytes;
}

// Packs into an area of the advertised worst length, and checks the packer stayed inside it.
Bytes pack(const Bytes& units, int32_t unitSize = 2) {
  const int32_t count = static_cast<int32_t>(units.size()) / unitSize;
  const size_t room = worstPackedLength(count, unitSize);
  Bytes out(room + 64, 0xEE);
  const size_t length = static_cast<size_t>(packUnits(count, unitSize, units.data(), out.data()));
  EXPECT_LE(length, room);
  EXPECT_EQ(out[room], 0xEE);
  out.resize(length);
  return out;
}

std::vector<uint16_t> repeated(uint16_t value, int times) {
  return std::vector<uint16_t>(static_cast<size_t>(times), value);
}

std::vector<uint16_t> operator+(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(PackUnits, MakesTheKnownPackets) {
  EXPECT_THAT(pack(unitsOf({0x1234, 0x1234, 0x1234, 1, 2, 3, 3})),
              ElementsAreArray({0x82, 0x34, 0x12, 0x01, 0x01, 0x00, 0x02, 0x00, 0x81, 0x03, 0x00}));
  EXPECT_THAT(pack(unitsOf(repeated(0xAA, 129) + repeated(0xBB, 1))),
              ElementsAreArray({0xFF, 0xAA, 0x00, 0x01, 0xAA, 0x00, 0xBB, 0x00}));
  EXPECT_THAT(pack(unitsOf(repeated(0xAA, 130))),
              ElementsAreArray({0xFF, 0xAA, 0x00, 0x81, 0xAA, 0x00}));
  EXPECT_THAT(pack(unitsOf(repeated(0xAA, 257))),
              ElementsAreArray({0xFF, 0xAA, 0x00, 0xFF, 0xAA, 0x00, 0x00, 0xAA, 0x00}));
  // A leftover unit joins the literal units that follow it into one group.
  EXPECT_THAT(pack(unitsOf(repeated(7, 129) + std::vector<uint16_t>{1, 2} + repeated(5, 2))),
              ElementsAreArray({0xFF, 7, 0, 0x02, 7, 0, 1, 0, 2, 0, 0x81, 5, 0}));
  EXPECT_TRUE(pack(Bytes{}).empty());
  // Byte units in pairs and singles pack longer than they stand, and still fit the bound.
  Bytes pairsAndSingles;
  for (uint8_t i = 0; i < 90; ++i) pairsAndSingles.insert(pairsAndSingles.end(), {i, i, 200});
  EXPECT_EQ(pack(pairsAndSingles, 1).size(), 90u * 4);
}

TEST(PackUnits, SplitsLongLiteralGroupsAndLongRunsAtOneHundredTwentyEight) {
  std::vector<uint16_t> distinct;
  for (uint16_t v = 0; v < 300; ++v) distinct.push_back(v);
  const Bytes packed = pack(unitsOf(distinct));
  ASSERT_EQ(packed.size(), 600u + 3);
  EXPECT_EQ(packed[0], 0x7F);
  EXPECT_EQ(packed[1 + 256], 0x7F);
  EXPECT_EQ(packed[2 + 512], 300 - 256 - 1);

  // One colour over a whole picture: 512 run packets of 128.
  const Bytes solid = pack(unitsOf(repeated(0x4321, 65536)));
  ASSERT_EQ(solid.size(), 1536u);
  for (size_t i = 0; i < solid.size(); i += 3) ASSERT_EQ(solid[i], 0xFF);
}

// Random data with runs of every length: the packets unpack to the units, and are canonical
// (no equal neighbours inside a literal packet, no run packet of one unit, no two literal
// packets in a row unless the first is full).
TEST(PackUnits, RoundTripsAndIsCanonicalForAnyUnits) {
  std::mt19937 random(12345);
  for (int unitSize : {1, 2, 3}) {
    for (int trial = 0; trial < 40; ++trial) {
      Bytes units;
      while (units.size() < 3000u * unitSize) {
        Bytes unit(static_cast<size_t>(unitSize));
        for (uint8_t& b : unit) b = static_cast<uint8_t>(random() % 3);
        const int times = random() % 4 == 0 ? static_cast<int>(random() % 300) + 1 : 1;
        for (int i = 0; i < times; ++i) units.insert(units.end(), unit.begin(), unit.end());
      }
      const int32_t count = static_cast<int32_t>(units.size()) / unitSize;
      units.resize(static_cast<size_t>(count) * unitSize);
      const Bytes packed = pack(units, unitSize);

      Bytes back(units.size());
      ASSERT_EQ(unpackUnits(count, unitSize, packed.data(), packed.size(), back.data()), 1);
      ASSERT_EQ(back, units);

      bool previousWasShortLiteral = false;
      for (size_t pos = 0; pos < packed.size();) {
        const int header = packed[pos++];
        const int n = (header & 0x7F) + 1;
        if (header & 0x80) {
          ASSERT_GE(n, 2);
          pos += static_cast<size_t>(unitSize);
          previousWasShortLiteral = false;
          continue;
        }
        ASSERT_FALSE(previousWasShortLiteral);
        for (int i = 1; i < n; ++i) {
          const uint8_t* a = &packed[pos + static_cast<size_t>((i - 1) * unitSize)];
          ASSERT_FALSE(std::equal(a, a + unitSize, a + unitSize));
        }
        pos += static_cast<size_t>(n * unitSize);
        previousWasShortLiteral = n < 128;
      }
    }
  }
}

TEST(UnpackUnits, StaysInsideItsDestinationAndItsPackets) {
  // Four units of room, guarded by a canary unit after them.
  auto unpack = [](const Bytes& packets, UnpackResult expected) {
    Bytes dest(10, 0xEE);
    EXPECT_EQ(unpackBlock(4, 2, packets.data(), packets.size(), dest.data()), expected);
    EXPECT_EQ(dest[8], 0xEE);
    EXPECT_EQ(dest[9], 0xEE);
    return dest;
  };
  unpack({0x84, 1, 2}, UnpackResult::pastUnits);                          // a run of 5
  unpack({0x81, 1, 2, 0x02, 1, 1, 2, 2, 3, 3}, UnpackResult::pastUnits);  // 2 + 3
  unpack({0x82, 1, 2}, UnpackResult::pastPackets);                        // only 3 units
  unpack({0x03, 1, 1, 2, 2, 3, 3, 4}, UnpackResult::pastPackets);         // literal cut off
  unpack({0x83, 1}, UnpackResult::pastPackets);                           // run unit cut off
  unpack({}, UnpackResult::pastPackets);
  // Bytes after the last unit are ignored; uneconomic packets are fine.
  EXPECT_THAT(unpack({0x80, 9, 0, 0x00, 9, 0, 0x81, 8, 0, 0xFF, 0xFF}, UnpackResult::complete),
              ElementsAreArray({9, 0, 9, 0, 8, 0, 8, 0, 0xEE, 0xEE}));
  EXPECT_EQ(unpackUnits(4, 2, nullptr, 0, nullptr), 0);
}
