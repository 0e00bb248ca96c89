// Feeds any packets to the unpacker, into a destination of exactly the unit count's size (so
// that AddressSanitizer sees any write past it). Input: unit size (1 to 4, from the first byte),
// unit count (0 to 65535, the next two bytes), then the packets. Units that unpack completely
// must pack canonically to packets that unpack to the same units.
#include <cstdlib>
#include <vector>

#include "engine/run_length.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t unitSize = data[0] % 4 + 1;
  const int32_t unitCount = data[1] | data[2] << 8;
  const size_t bytes = static_cast<size_t>(unitCount) * static_cast<size_t>(unitSize);
  // Copies of exactly the right size, so that reading or writing one byte too far is caught.
  const std::vector<uint8_t> packets(data + 3, data + size);
  std::vector<uint8_t> units(bytes);
  const int32_t result =
      unpackUnits(unitCount, unitSize, packets.data(), packets.size(), units.data());
  if (result != 1) return 0;

  std::vector<uint8_t> packed(worstPackedLength(unitCount, unitSize));
  const int32_t length = packUnits(unitCount, unitSize, units.data(), packed.data());
  if (length < 0 || static_cast<size_t>(length) > packed.size()) std::abort();
  packed.resize(static_cast<size_t>(length));
  std::vector<uint8_t> again(bytes);
  if (unpackUnits(unitCount, unitSize, packed.data(), packed.size(), again.data()) != 1 ||
      again != units) {
    std::abort();
  }
  return 0;
}
