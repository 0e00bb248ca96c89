// The run-length packing of picture blocks in project files.
#pragma once

#include <cstddef>
#include <cstdint>

// Packs `unitCount` units of `unitSize` bytes into `out` (room for at least
// unitCount * unitSize * 2 bytes) and returns the packed length in bytes.
int32_t packUnits(int32_t unitCount, int32_t unitSize, const uint8_t* units, uint8_t* out);

// Unpacks packets from `packets` (exactly `packedLength` bytes) into `dest` (room for
// unitCount units). Returns 1 when exactly unitCount units were produced; 0 when a packet would
// run past unitCount units or past the end of the packets (nothing is then written out of bounds).
int32_t unpackUnits(int32_t unitCount, int32_t unitSize, const uint8_t* packets,
                    size_t packedLength, uint8_t* dest);
