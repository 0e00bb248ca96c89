// WebP, TIFF and BMP through Qt's image readers (QtGui; WebP and TIFF come as plugins), the
// colour profiles through Qt's colour spaces, and PNG writing. No GUI application is needed.
//
// Qt's readers decode whatever size a header declares, and its BMP reader fills a file that ends
// early with black: so the declared size is asked for first, and a BMP file is measured against
// its header before anything is decoded.
#include <tiffio.h>

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "pictures/decoders.h"

namespace pictures {

namespace {

uint32_t readU32Le(const uint8_t* at) {
  return uint32_t{at[3]} << 24 | uint32_t{at[2]} << 16 | uint32_t{at[1]} << 8 | at[0];
}
uint16_t readU16Le(const uint8_t* at) {
  return static_cast<uint16_t>(at[1] << 8 | at[0]);
}

// True when the file is too short for the pixels its BMP header declares (the last row's padding
// may be missing).
bool bmpEndsEarly(const uint8_t* data, size_t size) {
  if (size < 30) return true;
  const uint64_t pixelOffset = readU32Le(data + 10);
  const uint32_t headerSize = readU32Le(data + 14);
  int64_t width = 0, height = 0;
  uint32_t bitCount = 0, compression = 0, imageSize = 0;
  if (headerSize == 12) {  // the OS/2 header
    width = readU16Le(data + 18);
    height = readU16Le(data + 20);
    bitCount = readU16Le(data + 24);
  } else {
    if (size < 38) return true;
    width = static_cast<int32_t>(readU32Le(data + 18));
    height = static_cast<int32_t>(readU32Le(data + 22));
    bitCount = readU16Le(data + 28);
    compression = readU32Le(data + 30);
    imageSize = readU32Le(data + 34);
  }
  constexpr uint32_t kRle8 = 1, kRle4 = 2;
  if (compression == kRle8 || compression == kRle4) return pixelOffset + imageSize > size;
  if (width <= 0 || height == 0 || bitCount == 0) return false;  // the reader will say
  const uint64_t rowBits = static_cast<uint64_t>(width) * bitCount;
  const uint64_t rowBytes = (rowBits + 31) / 32 * 4;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  return pixelOffset + rowBytes * (rows - 1) + (rowBits + 7) / 8 > size;
}

bool endsEarly(Format format, const uint8_t* data, size_t size) {
  switch (format) {
    case Format::WebP:
      return uint64_t{readU32Le(data + 4)} + 8 > size;
    case Format::Bmp:
      return bmpEndsEarly(data, size);
    default:
      return false;
  }
}

const char* qtFormatName(Format format) {
  switch (format) {
    case Format::WebP:
      return "webp";
    case Format::Tiff:
      return "tiff";
    default:
      return "bmp";
  }
}

// Qt refuses images above 128 MiB unless told otherwise; the size is checked before.
void allowLargeImages() {
  static std::once_flag once;
  std::call_once(once, [] {
    constexpr int64_t kBytesPerPixel = 8;  // 16-bit RGBA, the widest a reader returns
    QImageReader::setAllocationLimit(
        static_cast<int>(kMaxPhotoPixels * kBytesPerPixel / (1 << 20) + 1));
  });
}

// An image of any format, in sRGB and laid over black, as 8-bit RGB.
void copyToRgb(QImage image, RgbImage& to) {
  const QColorSpace colourSpace = image.colorSpace();
  if (colourSpace.isValid() && colourSpace != QColorSpace(QColorSpace::SRgb)) {
    image.convertToColorSpace(QColorSpace::SRgb);
  }
  image.convertTo(QImage::Format_RGBA8888_Premultiplied);
  to.resize(image.width(), image.height());
  for (int y = 0; y < image.height(); ++y) {
    const uchar* from = image.constScanLine(y);
    uint8_t* row = to.row(y);
    for (int x = 0; x < image.width(); ++x, from += 4, row += 3) std::memcpy(row, from, 3);
  }
}

}  // namespace

bool decodeWithQt(const uint8_t* data, size_t size, Format format, const DecodeOptions& options,
                  Photo& photo, std::string& whyNot) {
  allowLargeImages();
  // A BMP file that ends early would be filled with black; the others are only named right.
  const bool cutShort = endsEarly(format, data, size);
  if (format == Format::Bmp && cutShort) {
    whyNot = kEndsEarlyReason;
    return false;
  }
  QByteArray bytes = QByteArray::fromRawData(
      reinterpret_cast<const char*>(data),
      static_cast<qsizetype>(std::min<size_t>(size, std::numeric_limits<qsizetype>::max())));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, qtFormatName(format));
  reader.setAutoTransform(true);  // TIFF's orientation
  const QSize declared = reader.size();
  if (declared.isValid() &&
      !checkDeclaredSize(declared.width(), declared.height(), options.maxPixels, whyNot)) {
    return false;
  }
  if (!declared.isValid() && !cutShort) {
    whyNot = std::string(kDamagedReason) + " (no readable header)";
    return false;
  }
  const QImage image = reader.read();
  if (image.isNull()) {
    whyNot = cutShort ? kEndsEarlyReason : kDamagedReason;
    return false;
  }
  if (!checkDeclaredSize(image.width(), image.height(), options.maxPixels, whyNot)) return false;
  copyToRgb(image, photo.image);
  photo.width = photo.image.width;
  photo.height = photo.image.height;
  return true;
}

void convertProfileToSrgb(const uint8_t* profile, size_t size, RgbImage& image) {
  const QColorSpace colourSpace = QColorSpace::fromIccProfile(QByteArray::fromRawData(
      reinterpret_cast<const char*>(profile), static_cast<qsizetype>(size)));
  if (!colourSpace.isValid() || colourSpace == QColorSpace(QColorSpace::SRgb)) return;
  QImage view(image.pixels.data(), image.width, image.height, image.width * 3,
              QImage::Format_RGB888);
  view.setColorSpace(colourSpace);
  copyToRgb(view, image);
}

std::vector<uint8_t> encodePicturePng(const PictureImage& picture) {
  QImage image(kPictureSide, kPictureSide, QImage::Format_RGB888);
  for (int y = 0; y < kPictureSide; ++y) {
    uchar* row = image.scanLine(y);
    for (int x = 0; x < kPictureSide; ++x, row += 3) {
      const uint16_t pixel = picture.pixels[y * kPictureSide + x];
      row[0] = static_cast<uint8_t>((pixel >> 11) << 3);
      row[1] = static_cast<uint8_t>(((pixel >> 5) & 0x3F) << 2);
      row[2] = static_cast<uint8_t>((pixel & 0x1F) << 3);
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) return {};
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void silenceReaderWarnings() {
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  // Qt's TIFF reader leaves libtiff's messages to libtiff, which prints them.
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
}

}  // namespace pictures
