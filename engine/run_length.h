// The run-length packing of picture blocks in project files.
//
// A packed stream is a sequence of packets, each starting with one header byte h:
//   h 0x80..0xFF  run packet: one unit follows, standing for (h - 0x80) + 1 copies of it;
//   h 0x00..0x7F  literal packet: h + 1 units follow, as they stand.
// The packer's output is fully determined by the units: maximal runs of equal neighbours become
// run packets of 128 and then one of the remainder (a remainder of 1 becomes a literal unit);
// all other units are gathered into literal packets of up to 128, in stream order.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest packed length of `unitCount` units. Units of two bytes or more pack longest when no
// two neighbours are equal (every packet a literal one). Single bytes can pack longer than that:
// a run of two and a literal of one take four bytes for three units.
constexpr size_t worstPackedLength(int32_t unitCount, int32_t unitSize) {
  const size_t count = unitCount > 0 ? static_cast<size_t>(unitCount) : 0;
  const size_t size = unitSize > 0 ? static_cast<size_t>(unitSize) : 0;
  return count * size + (size == 1 ? count / 2 : 0) + (count + 127) / 128;
}

// Packs `unitCount` units of `unitSize` bytes into `out` (room for at least
// worstPackedLength(unitCount, unitSize) bytes; unitCount * unitSize * 2 is always enough) and
// returns the packed length in bytes.
int32_t packUnits(int32_t unitCount, int32_t unitSize, const uint8_t* units, uint8_t* out);

// Why an unpacking stopped.
enum class UnpackResult {
  complete,     // exactly unitCount units were produced
  pastUnits,    // a packet stands for more units than remain
  pastPackets,  // the packets end (or a packet is cut off) before unitCount units
};

// Unpacks packets from `packets` (exactly `packedLength` bytes) into `dest` (room for
// unitCount units of unitSize bytes). Never writes outside dest nor reads outside the packets;
// bytes after the packet that completes the units are ignored. A packet that would run past
// either end is not carried out at all.
UnpackResult unpackBlock(int32_t unitCount, int32_t unitSize, const uint8_t* packets,
                         size_t packedLength, uint8_t* dest);

// As unpackBlock: 1 when exactly unitCount units were produced; 0 otherwise.
int32_t unpackUnits(int32_t unitCount, int32_t unitSize, const uint8_t* packets,
                    size_t packedLength, uint8_t* dest);
