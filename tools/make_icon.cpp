// Build tool: the menu icon drawn from the logo. The logo is a round badge on a dark square;
// the icon keeps the badge and makes the corners outside its circle transparent, with an
// edge smoothed by 4 x 4 samples per pixel (integer arithmetic: the same bytes everywhere).
//   make_icon <logo.png> <icon.png>
// A logo that cannot be read, is not square or an icon that cannot be written fails the
// build, and no icon is left behind.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kSamples = 4;  // per pixel and axis

// Of the pixel's kSamples^2 sample points, how many lie inside the circle that fills the square.
int Coverage(int x, int y, int size) {
  const int64_t centre = int64_t(size) * kSamples;  // doubled sample units
  const int64_t radius = centre;
  int inside = 0;
  for (int sy = 0; sy < kSamples; ++sy)
    for (int sx = 0; sx < kSamples; ++sx) {
      int64_t dx = 2 * (int64_t(x) * kSamples + sx) + 1 - centre;
      int64_t dy = 2 * (int64_t(y) * kSamples + sy) + 1 - centre;
      inside += dx * dx + dy * dy <= radius * radius;
    }
  return inside;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icon <logo.png> <icon.png>\n");
    return 2;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, argv[1])) {
    std::fprintf(stderr, "make_icon: %s: %s\n", argv[1], image.message);
    return 1;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    std::fprintf(stderr, "make_icon: %s: %s\n", argv[1], image.message);
    return 1;
  }
  const int size = static_cast<int>(image.width);
  if (image.height != image.width) {
    std::fprintf(stderr, "make_icon: %s: the logo must be square\n", argv[1]);
    return 1;
  }
  constexpr int kFull = kSamples * kSamples;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      uint8_t* alpha = &pixels[(size_t(y) * size + x) * 4 + 3];
      *alpha = static_cast<uint8_t>((*alpha * Coverage(x, y, size) + kFull / 2) / kFull);
    }
  if (!png_image_write_to_file(&image, argv[2], 0, pixels.data(), 0, nullptr)) {
    std::fprintf(stderr, "make_icon: %s: %s\n", argv[2], image.message);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
