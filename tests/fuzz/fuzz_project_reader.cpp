// Feeds anything to the project file parser. A file it takes must hold consistent tables, and
// every picture in it must pack and unpack to itself.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/project_file.h"
#include "engine/run_length.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ProjectFileContent content;
  std::string whyNot;
  if (parseProjectFile(data, size, content, &whyNot) != 0) {
    if (whyNot.empty()) std::abort();  // every refusal says why
    return 0;
  }
  if (content.images.size() > kMaxPictures || content.points.size() != content.images.size() ||
      content.pointCount < 0 || content.pointCount > kMaxPoints) {
    std::abort();
  }
  std::vector<uint8_t> packed(worstPackedLength(kPicturePixels, 2));
  PictureImage back;
  for (size_t n = 0; n < content.images.size(); ++n) {
    if (content.points[n].size() != static_cast<size_t>(content.pointCount)) std::abort();
    const auto* pixels = reinterpret_cast<const uint8_t*>(content.images[n]->pixels);
    const int32_t length = packUnits(kPicturePixels, 2, pixels, packed.data());
    if (unpackUnits(kPicturePixels, 2, packed.data(), static_cast<size_t>(length),
                    reinterpret_cast<uint8_t*>(back.pixels)) != 1 ||
        std::memcmp(back.pixels, pixels, kPictureBytes) != 0) {
      std::abort();
    }
  }
  return 0;
}
