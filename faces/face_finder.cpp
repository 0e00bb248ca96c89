// The one file that includes dlib: its headers take long to compile and bring most of dlib
// with them, so they stay here.
#include "faces/face_finder.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_transforms.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr const char* kDebianModelPath = "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";

// The detector works on grey levels.
using GreyImage = dlib::array2d<unsigned char>;

// How a picture was scaled for the detector: picture x = detector x * scaleX + shiftX, and so
// for y.
struct DetectorScale {
  double scaleX = 1, shiftX = 0, scaleY = 1, shiftY = 0;
};

uint8_t greyOf(int r, int g, int b) {
  return static_cast<uint8_t>((r * 77 + g * 150 + b * 29 + 128) >> 8);
}

// ---- The model ---------------------------------------------------------------------------------

std::string packageHint() {
  return "The model comes with the Debian package libdlib-data (apt install libdlib-data); "
         "KZM_FACE_MODEL may name another file.";
}

// dlib's reasons run over several lines; the first says enough.
std::string firstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return line;
}

// A file mapped into memory as a stream buffer: dlib reads the model through many small reads,
// which a file stream's buffer answers a good deal slower than a copy from memory.
class MappedBytes : public std::streambuf {
 public:
  MappedBytes(char* data, size_t size) : size_(size) { setg(data, data, data + size); }
  ~MappedBytes() override { ::munmap(eback(), size_); }

 protected:
  std::streamsize xsgetn(char* to, std::streamsize count) override {
    const std::streamsize available = std::min<std::streamsize>(count, egptr() - gptr());
    std::memcpy(to, gptr(), static_cast<size_t>(available));
    setg(eback(), gptr() + available, egptr());
    return available;
  }

 private:
  size_t size_;
};

std::string modelFailure(const std::string& path, const std::string& reason) {
  return "cannot use the face model " + path + ": " + reason + ". " + packageHint();
}

// The model file mapped into memory; nullptr with the reason in `problem` when it cannot be.
std::unique_ptr<MappedBytes> mapModelFile(const std::string& path, std::string& problem) {
  // Non-blocking, so that a named pipe without a writer cannot hang the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    problem = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  void* bytes = MAP_FAILED;
  if (::fstat(fd, &info) != 0) {
    problem = std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    problem = std::strerror(EISDIR);
  } else if (!S_ISREG(info.st_mode)) {
    problem = "not a regular file";
  } else if (info.st_size == 0) {
    problem = "the file is empty";
  } else {
    bytes = ::mmap(nullptr, info.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (bytes == MAP_FAILED) problem = std::strerror(errno);
  }
  ::close(fd);
  if (bytes == MAP_FAILED) return nullptr;
  return std::make_unique<MappedBytes>(static_cast<char*>(bytes),
                                       static_cast<size_t>(info.st_size));
}

std::unique_ptr<dlib::shape_predictor> readModel(std::string* whyNot) {
  const std::string path = faceModelPath();
  auto refuse = [&](const std::string& reason) -> std::unique_ptr<dlib::shape_predictor> {
    if (whyNot) *whyNot = modelFailure(path, reason);
    return nullptr;
  };
  std::string problem;
  const std::unique_ptr<MappedBytes> buffer = mapModelFile(path, problem);
  if (!buffer) return refuse(problem);
  std::istream in(buffer.get());
  auto model = std::make_unique<dlib::shape_predictor>();
  try {
    dlib::deserialize(*model, in);
  } catch (const std::bad_alloc&) {
    return refuse("not a face model (it asks for more memory than there is)");
  } catch (const std::exception& error) {
    return refuse("not a face model (" + firstLine(error.what()) + ")");
  }
  if (model->num_parts() != kFacePointCount) {
    return refuse("a model of " + std::to_string(model->num_parts()) + " points, not " +
                  std::to_string(kFacePointCount));
  }
  return model;
}

// Loaded at most once per process; a failed load is tried again by the next caller, so that a
// model installed meanwhile is found.
struct ModelStore {
  std::mutex mutex;
  std::condition_variable loaded;
  bool loading = false;
  std::unique_ptr<const dlib::shape_predictor> model;
};

ModelStore& modelStore() {
  static ModelStore store;
  return store;
}

// The model, loaded on this thread unless it is loaded or loading already; nullptr with
// *whyNot when it cannot be loaded.
const dlib::shape_predictor* faceModel(std::string* whyNot) {
  ModelStore& store = modelStore();
  std::unique_lock lock(store.mutex);
  store.loaded.wait(lock, [&] { return !store.loading; });
  if (store.model) return store.model.get();
  store.loading = true;
  lock.unlock();
  std::unique_ptr<dlib::shape_predictor> model = readModel(whyNot);
  lock.lock();
  store.loading = false;
  store.model = std::move(model);
  store.loaded.notify_all();
  return store.model.get();
}

bool faceModelLoaded() {
  ModelStore& store = modelStore();
  std::lock_guard lock(store.mutex);
  return store.model != nullptr;
}

// Whether the model is loaded, or else its file at least there to be read: the check that lets a
// search fail at once instead of after finding every face.
bool faceModelWithinReach(std::string* whyNot) {
  if (faceModelLoaded()) return true;
  const std::string path = faceModelPath();
  std::string problem;
  if (mapModelFile(path, problem)) return true;
  if (whyNot) *whyNot = modelFailure(path, problem);
  return false;
}

// The detector is built into dlib; building it takes a while, copying it little. Each thread
// needs its own copy, as detecting changes the detector's scratch state.
dlib::frontal_face_detector newDetector() {
  static const dlib::frontal_face_detector prototype = dlib::get_frontal_face_detector();
  return prototype;
}

// ---- Finding ---------------------------------------------------------------------------------

// The largest face the detector finds, if any.
std::optional<dlib::rectangle> largestFace(dlib::frontal_face_detector& detector,
                                           const GreyImage& image) {
  std::optional<dlib::rectangle> largest;
  for (const dlib::rectangle& face : detector(image)) {
    if (!largest || face.area() > largest->area()) largest = face;
  }
  return largest;
}

FacePoint toPicture(const dlib::point& point, const DetectorScale& scale) {
  return {static_cast<float>(point.x() * scale.scaleX + scale.shiftX),
          static_cast<float>(point.y() * scale.scaleY + scale.shiftY)};
}

// Doubles the image's size (bilinear, corners on corners) and says how to map back.
DetectorScale upsampleOnce(GreyImage& image) {
  GreyImage larger(image.nr() * 2, image.nc() * 2);
  dlib::resize_image(image, larger, dlib::interpolate_bilinear());
  DetectorScale scale;
  scale.scaleX = (image.nc() - 1) / std::max(1.0, larger.nc() - 1.0);
  scale.scaleY = (image.nr() - 1) / std::max(1.0, larger.nr() - 1.0);
  image.swap(larger);
  return scale;
}

// A 256 x 256 picture in grey, upsampled once.
DetectorScale detectorImage(const PictureImage& picture, GreyImage& image) {
  image.set_size(kPictureSide, kPictureSide);
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < kPictureSide; ++x) {
      const uint16_t pixel = picture.pixels[y * kPictureSide + x];
      // Widened by bit replication, as the board widens RGB565.
      const int r = ((pixel >> 11) << 3) | (pixel >> 13);
      const int g = (((pixel >> 5) & 63) << 2) | ((pixel >> 9) & 3);
      const int b = ((pixel & 31) << 3) | ((pixel >> 2) & 7);
      image[y][x] = greyOf(r, g, b);
    }
  }
  return upsampleOnce(image);
}

// A photograph in grey for the detector. Large ones are averaged down by a whole factor so that
// the longer side is at most 1024 pixels (faces narrower than a tenth of that are not looked
// for); small ones are upsampled once, as pictures are.
DetectorScale detectorImage(const RgbPixels& photo, GreyImage& image) {
  constexpr int32_t kLongestSide = 1024;
  const int32_t longer = std::max({photo.width, photo.height, 0});
  const int32_t factor = std::max(1, (longer + kLongestSide - 1) / kLongestSide);
  image.set_size(std::max(0, photo.height / factor), std::max(0, photo.width / factor));
  const int area = factor * factor;
  for (long y = 0; y < image.nr(); ++y) {
    for (long x = 0; x < image.nc(); ++x) {
      int r = 0, g = 0, b = 0;
      for (int32_t dy = 0; dy < factor; ++dy) {
        const uint8_t* pixel = photo.data + (y * factor + dy) * photo.rowBytes + x * factor * 3;
        for (int32_t dx = 0; dx < factor; ++dx, pixel += 3) {
          r += pixel[0];
          g += pixel[1];
          b += pixel[2];
        }
      }
      image[y][x] = greyOf(r / area, g / area, b / area);
    }
  }
  // Pixel x of the averaged image covers the photograph's pixels x * factor to
  // x * factor + factor - 1: its centre is x * factor + (factor - 1) / 2.
  const double shift = (factor - 1) / 2.0;
  if (factor > 1 || longer > kLongestSide / 2 || image.size() == 0) {
    return {double(factor), shift, double(factor), shift};
  }
  return upsampleOnce(image);
}

// Everything one search over a set of pictures shares between its threads.
struct SearchWork {
  std::span<const PictureImage* const> pictures;
  std::vector<GreyImage> images;
  std::vector<DetectorScale> scales;
  std::vector<std::optional<dlib::rectangle>> faces;
  std::vector<std::optional<FaceShape>> shapes;
  std::atomic<int32_t> nextToDetect{0};
  std::atomic<int32_t> nextToFit{0};
  std::atomic<int32_t> done{0};
  std::atomic<bool> stop{false};
  std::mutex failureMutex;
  std::string failure;

  void fail(const std::string& why) {
    std::lock_guard lock(failureMutex);
    if (failure.empty()) failure = why;
    stop = true;
  }

  int32_t count() const { return static_cast<int32_t>(pictures.size()); }

  void detect(int32_t n, dlib::frontal_face_detector& detector) {
    if (!pictures[n]) return;
    scales[n] = detectorImage(*pictures[n], images[n]);
    faces[n] = largestFace(detector, images[n]);
  }

  void fit(int32_t n, const dlib::shape_predictor& model) {
    if (!faces[n]) return;
    const dlib::full_object_detection found = model(images[n], *faces[n]);
    FaceShape shape;
    for (int k = 0; k < kFacePointCount; ++k) shape[k] = toPicture(found.part(k), scales[n]);
    shapes[n] = shape;
  }

  // One thread's part: the model first when it is this thread's to load, then faces to find
  // until none are left; then, once every thread is through with finding, points to fit.
  void run(bool loadsModel, std::barrier<>& found) {
    try {
      std::string why;
      if (loadsModel && !faceModel(&why)) fail(why);
      dlib::frontal_face_detector detector = stop ? dlib::frontal_face_detector() : newDetector();
      while (!stop) {
        const int32_t n = nextToDetect++;
        if (n >= count()) break;
        detect(n, detector);
        ++done;
      }
    } catch (const std::exception& error) {
      fail(std::string("finding faces failed: ") + error.what());
    }
    found.arrive_and_wait();
    try {
      const dlib::shape_predictor* model = stop ? nullptr : faceModel(nullptr);
      if (!model) return;
      while (!stop) {
        const int32_t n = nextToFit++;
        if (n >= count()) break;
        fit(n, *model);
        ++done;
      }
    } catch (const std::exception& error) {
      fail(std::string("fitting face points failed: ") + error.what());
    }
  }
};

}  // namespace

std::string faceModelPath() {
  const char* chosen = std::getenv("KZM_FACE_MODEL");
  return chosen && *chosen ? chosen : kDebianModelPath;
}

int32_t loadFaceModel(std::string* whyNot) {
  return faceModel(whyNot) ? 0 : 1;
}

int32_t readFaceModelAnew(std::string* whyNot) {
  return readModel(whyNot) ? 0 : 1;
}

FaceSearch findFaceShapes(std::span<const PictureImage* const> pictures,
                          std::vector<std::optional<FaceShape>>& shapes, std::string* whyNot,
                          const FaceProgress& progress) {
  shapes.clear();
  if (!faceModelWithinReach(whyNot)) return FaceSearch::failed;
  SearchWork work;
  work.pictures = pictures;
  work.images.resize(pictures.size());
  work.scales.resize(pictures.size());
  work.faces.resize(pictures.size());
  work.shapes.resize(pictures.size());
  const int32_t total = 2 * work.count();

  // While one thread loads the model, the others find faces, which needs no model.
  const bool loadModel = !faceModelLoaded();
  const int32_t cores = static_cast<int32_t>(std::max(2u, std::thread::hardware_concurrency()));
  const int32_t threadCount = std::max(1, std::min(cores, work.count() + (loadModel ? 1 : 0)));
  std::barrier found(threadCount);
  std::atomic<int32_t> finished{0};
  std::mutex finishedMutex;
  std::condition_variable finishedChanged;
  {
    std::vector<std::jthread> threads;
    for (int32_t t = 0; t < threadCount; ++t) {
      threads.emplace_back([&, t] {
        work.run(loadModel && t == 0, found);
        std::lock_guard lock(finishedMutex);
        ++finished;
        finishedChanged.notify_all();
      });
    }
    std::unique_lock lock(finishedMutex);
    while (finished < threadCount) {
      finishedChanged.wait_for(lock, std::chrono::milliseconds(100));
      if (progress && !work.stop) {
        lock.unlock();
        const bool goOn = progress(work.done, total);
        lock.lock();
        if (!goOn) work.stop = true;
      }
    }
  }
  if (!work.failure.empty()) {
    if (whyNot) *whyNot = work.failure;
    return FaceSearch::failed;
  }
  if (work.stop) return FaceSearch::cancelled;
  shapes = std::move(work.shapes);
  return FaceSearch::done;
}

FaceSearch findEyeCentres(const RgbPixels& photo, std::optional<EyeCentres>& eyes,
                          std::string* whyNot) {
  eyes.reset();
  if (!faceModelWithinReach(whyNot)) return FaceSearch::failed;
  // The model loads on another thread while the face is looked for here.
  std::string modelFailure;
  const dlib::shape_predictor* model = nullptr;
  std::jthread loader([&] { model = faceModel(&modelFailure); });
  try {
    GreyImage image;
    const DetectorScale scale = detectorImage(photo, image);
    dlib::frontal_face_detector detector = newDetector();
    const std::optional<dlib::rectangle> face =
        image.size() > 0 ? largestFace(detector, image) : std::nullopt;
    loader.join();
    if (!model) {
      if (whyNot) *whyNot = modelFailure;
      return FaceSearch::failed;
    }
    if (!face) return FaceSearch::done;
    const dlib::full_object_detection found = (*model)(image, *face);
    EyeCentres centres{};
    for (int k = 0; k < 6; ++k) {
      const FacePoint left = toPicture(found.part(36 + k), scale);
      const FacePoint right = toPicture(found.part(42 + k), scale);
      centres.leftX += left.x / 6.0;
      centres.leftY += left.y / 6.0;
      centres.rightX += right.x / 6.0;
      centres.rightY += right.y / 6.0;
    }
    eyes = centres;
    return FaceSearch::done;
  } catch (const std::exception& error) {
    if (whyNot) *whyNot = std::string("finding the face failed: ") + error.what();
    return FaceSearch::failed;
  }
}
