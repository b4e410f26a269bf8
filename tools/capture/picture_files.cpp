// Frames as files: PNG through libpng, raw little-endian RGB565, and the temporary names that
// keep a failed write from ever carrying the final name.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "platform/demo.h"
#include "tools/capture/capture.h"

namespace {

std::string Folder(const std::string& name) {
  size_t slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

std::string BaseName(const std::string& name) {
  size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// One row of the picture at 8 bits per channel, each pixel repeated `scale` times.
void ExpandRow(const uint16_t* src, int scale, uint8_t* out) {
  for (int x = 0; x < kWidth; ++x) {
    uint32_t p = src[x];
    uint32_t r5 = p >> 11, g6 = (p >> 5) & 63, b5 = p & 31;
    auto r = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
    auto g = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
    auto b = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
    for (int k = 0; k < scale; ++k) {
      *out++ = r;
      *out++ = g;
      *out++ = b;
    }
  }
}

// libpng reports errors by longjmp, so this frame holds nothing with a destructor.
bool EncodePng(FILE* f, const uint16_t* frame, int scale, int zlib_level, uint8_t* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_compression_level(png, zlib_level);
  // Choosing a filter per row costs more than the fast levels gain from it.
  if (zlib_level <= 1) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(kWidth * scale),
               static_cast<png_uint_32>(kHeight * scale), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) {
    ExpandRow(frame + y * kWidth, scale, row);
    for (int k = 0; k < scale; ++k) png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool CloseChecked(FILE* f, bool ok, const std::string& path, std::string* error) {
  if (std::fflush(f) != 0 || std::ferror(f)) ok = false;
  int saved = errno;
  if (std::fclose(f) != 0) ok = false;
  if (!ok) *error = "cannot write " + path + ": " + std::strerror(saved ? saved : EIO);
  return ok;
}


// Should a run end through exit() before any destructor runs, the temporary names still
// reserved then are removed at exit.
std::set<std::string>& PendingTemporaries() {
  static auto* pending = [] {
    auto* names = new std::set<std::string>;
    std::atexit([] {
      for (const std::string& name : PendingTemporaries()) unlink(name.c_str());
    });
    return names;
  }();
  return *pending;
}

}  // namespace

bool AtomicFile::Create(const std::string& final_name, std::string* error) {
  Discard();
  struct stat st{};
  if (stat(final_name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = "cannot write " + final_name + ": it is a folder";
    return false;
  }
  std::string base = BaseName(final_name);
  std::string ext = LowerExtension(base);
  std::string stem = base.substr(0, base.size() - ext.size());
  // The extension stays last: ffmpeg chooses its container by it.
  std::string temp = Folder(final_name) + "/." + stem + ".part" + std::to_string(getpid()) +
                     base.substr(base.size() - ext.size());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot write " + final_name + ": " + std::strerror(errno);
    return false;
  }
  close(fd);
  final_ = final_name;
  temp_ = temp;
  PendingTemporaries().insert(temp_);
  return true;
}

bool AtomicFile::Commit(std::string* error) {
  if (temp_.empty()) return false;
  if (std::rename(temp_.c_str(), final_.c_str()) != 0) {
    *error = "cannot write " + final_ + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  PendingTemporaries().erase(temp_);
  temp_.clear();
  return true;
}

void AtomicFile::Discard() {
  if (temp_.empty()) return;
  unlink(temp_.c_str());
  PendingTemporaries().erase(temp_);
  temp_.clear();
}

void FrameBytes(const uint16_t* frame, uint8_t* out) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, frame, kPixels * 2);
  } else {
    for (int i = 0; i < kPixels; ++i) {
      out[2 * i] = static_cast<uint8_t>(frame[i] & 0xff);
      out[2 * i + 1] = static_cast<uint8_t>(frame[i] >> 8);
    }
  }
}

bool WritePngFrame(const std::string& path, const uint16_t* frame, int scale, int zlib_level,
                   std::string* error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(kWidth) * scale * 3);
  errno = 0;
  bool ok = EncodePng(f, frame, scale, zlib_level, row.data());
  return CloseChecked(f, ok, path, error);
}

bool WriteRawFrame(const std::string& path, const uint16_t* frame, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> bytes(kPixels * 2);
  FrameBytes(frame, bytes.data());
  errno = 0;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return CloseChecked(f, ok, path, error);
}

bool WriteFrameInto(AtomicFile& file, const std::string& path, Format format,
                    const uint16_t* frame, int scale, int zlib_level, std::string* error) {
  bool ok = format == Format::kRaw
                ? WriteRawFrame(file.temp_name(), frame, error)
                : WritePngFrame(file.temp_name(), frame, scale, zlib_level, error);
  if (!ok) {
    // Name the file the user asked for, not the temporary one.
    size_t at = error->find(file.temp_name());
    if (at != std::string::npos) error->replace(at, file.temp_name().size(), path);
    file.Discard();
    return false;
  }
  return file.Commit(error);
}

bool WriteFrameFile(const std::string& path, Format format, const uint16_t* frame, int scale,
                    int zlib_level, std::string* error) {
  AtomicFile file;
  if (!file.Create(path, error)) return false;
  return WriteFrameInto(file, path, format, frame, scale, zlib_level, error);
}
