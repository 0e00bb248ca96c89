// Feeds anything to the BMP picture reader: it either takes the file or refuses it as of the
// wrong format, and never reads outside the bytes it was given.
#include <cstdlib>
#include <vector>

#include "engine/bmp_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);  // exactly sized, for AddressSanitizer
  PictureImage picture;
  const int32_t result = decodePictureFile(file.data(), file.size(), picture);
  if (result != kPictureRead && result != kPictureWrongFormat) std::abort();
  if (result == kPictureRead && size < kBmpFileBytes) std::abort();
  return 0;
}
