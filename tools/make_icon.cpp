// Build tool: the menu icon drawn from the logo. The logo is a round badge on a dark square;
// the icon keeps the badge and makes the corners outside its circle transparent, with an
// edge smoothed by 4 x 4 samples per pixel (integer arithmetic: the same bytes everywhere).
// Given a size, the logo's pixels are first repeated to that many a side (the web page's
// home-screen icons), keeping their hard edges.
//   make_icon <logo.png> <icon.png> [size, 16 to 1024]
// A logo that cannot be read, is not square or an icon that cannot be written fails the
// build, and no icon is left behind.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The logo's pixels at `to` a side, each output pixel the logo pixel it falls on.
std::vector<uint8_t> Resized(const std::vector<uint8_t>& rgba, int from, int to) {
  std::vector<uint8_t> out(size_t(to) * to * 4);
  for (int y = 0; y < to; ++y)
    for (int x = 0; x < to; ++x) {
      const uint8_t* p = &rgba[(size_t(y * from / to) * from + x * from / to) * 4];
      std::memcpy(&out[(size_t(y) * to + x) * 4], p, 4);
    }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  long wanted = 0;
  if (argc == 4) {
    char* end = nullptr;
    wanted = std::strtol(argv[3], &end, 10);
    if (*end != '\0' || wanted < 16 || wanted > 1024) argc = 0;
  }
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: make_icon <logo.png> <icon.png> [size, 16 to 1024]\n");
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
  if (image.height != image.width) {
    std::fprintf(stderr, "make_icon: %s: the logo must be square\n", argv[1]);
    return 1;
  }
  if (wanted != 0) {
    pixels = Resized(pixels, static_cast<int>(image.width), static_cast<int>(wanted));
    image.width = image.height = static_cast<png_uint_32>(wanted);
  }
  const int size = static_cast<int>(image.width);
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
