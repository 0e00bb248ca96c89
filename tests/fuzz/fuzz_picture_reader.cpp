// Feeds anything to the picture reader's front end (the format sniffing, the header and size
// checks, the decoders and the fits): it either makes a picture or refuses with a reason, and
// never reads outside the bytes it was given or keeps memory.
#include <cstdlib>
#include <vector>

#include "pictures/pictures.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pictures::silenceReaderWarnings();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);  // exactly sized, for AddressSanitizer
  // Each fit in turn; a lower pixel limit than the programs' keeps every run quick, and the
  // checks against it are the same.
  const pictures::Fit fit = static_cast<pictures::Fit>(size % 3);
  constexpr int64_t kFuzzMaxPixels = 4'000'000;
  pictures::ImportedPicture imported;
  std::string why;
  const bool taken =
      pictures::importPictureBytes(file.data(), file.size(), fit, imported, why, kFuzzMaxPixels);
  if (taken != (imported.picture != nullptr) || taken != why.empty()) std::abort();
  return 0;
}
