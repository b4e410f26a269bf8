// Writes the fuzzers' seed inputs: a few well-formed images and models, and near misses that
// stop one check short of acceptance, so mutation starts on both sides of every check.
// Usage: make_corpus <corpus folder>   (writes <folder>/fonts16, model32 and model16)
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool WriteFile(const std::string& path, const Bytes& b) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

// ---- fonts16.bin images: 256 map bytes, then 86 glyphs of 16 x 16 levels ----

Bytes FontImage() {
  Bytes img(256 + 86 * 256, 0);
  for (int code = 0; code < 256; ++code) img[code] = static_cast<uint8_t>(code % 86);
  for (int g = 0; g < 86; ++g)
    for (int i = 0; i < 256; ++i) img[256 + 256 * g + i] = static_cast<uint8_t>((g + i) % 16);
  return img;
}

std::vector<std::pair<std::string, Bytes>> FontSeeds() {
  Bytes good = FontImage();
  Bytes blank(good.size(), 0);
  Bytes longer = good;
  longer.push_back(0xFF);
  Bytes shorter(good.begin(), good.end() - 1);
  Bytes bad_map = good;
  bad_map['A'] = 86;
  Bytes bad_level = good;
  bad_level.back() = 16;
  return {{"good", good},        {"blank", blank},       {"trailing", longer},
          {"short", shorter},    {"bad-map", bad_map},   {"bad-level", bad_level}};
}

// ---- models: counts, points, lines, polygons ----

struct Model {
  std::vector<uint32_t> points;  // three values per point (raw file values)
  std::vector<uint32_t> lines;   // two indices per line
  std::vector<uint32_t> polys;   // three indices per polygon
};

void Put(Bytes& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes Encode(const Model& m, bool wide) {
  const int w = wide ? 4 : 2;
  Bytes out;
  Put(out, static_cast<uint32_t>(m.points.size() / 3), w);
  Put(out, static_cast<uint32_t>(m.lines.size() / 2), w);
  Put(out, static_cast<uint32_t>(m.polys.size() / 3), w);
  for (uint32_t v : m.points) Put(out, v, wide ? 4 : 1);
  for (uint32_t v : m.lines) Put(out, v, w);
  for (uint32_t v : m.polys) Put(out, v, w);
  return out;
}

// A cube of 8 corners and 12 triangles with its 12 edges as lines; `lo` and `hi` are the raw
// coordinate values of the two sides.
Model Cube(uint32_t lo, uint32_t hi) {
  Model m;
  for (int i = 0; i < 8; ++i) {
    m.points.push_back(i & 1 ? hi : lo);
    m.points.push_back(i & 2 ? hi : lo);
    m.points.push_back(i & 4 ? hi : lo);
  }
  m.lines = {0, 1, 1, 3, 3, 2, 2, 0, 4, 5, 5, 7, 7, 6, 6, 4, 0, 4, 1, 5, 2, 6, 3, 7};
  m.polys = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
             2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
  return m;
}

// A fan of 256 triangles around point 0: one use too many for its 8-bit use count.
Model Fan(uint32_t lo, uint32_t hi, int triangles) {
  Model m;
  for (int i = 0; i <= triangles + 1; ++i) {
    m.points.push_back(i == 0 ? lo : lo + static_cast<uint32_t>(i) % (hi - lo));
    m.points.push_back(i == 0 ? lo : hi);
    m.points.push_back(lo + static_cast<uint32_t>(i * 7) % (hi - lo));
  }
  for (int i = 1; i <= triangles; ++i) {
    m.polys.push_back(0);
    m.polys.push_back(static_cast<uint32_t>(i));
    m.polys.push_back(static_cast<uint32_t>(i + 1));
  }
  return m;
}

std::vector<std::pair<std::string, Bytes>> ModelSeeds(bool wide) {
  // Raw values around the formats' zero points: 65536 + offsets for 32 bits, 128 for bytes.
  const uint32_t lo = wide ? 65536 + 20480 - 64 : 64;
  const uint32_t hi = wide ? 65536 + 20480 + 64 : 192;
  Model cube = Cube(lo, hi);
  Bytes good = Encode(cube, wide);
  Bytes empty = Encode(Model{}, wide);
  Bytes trailing = good;
  trailing.push_back(0x5A);
  Bytes shorter(good.begin(), good.end() - 1);
  Model bad_index = cube;
  bad_index.polys.back() = 8;
  Model bad_line = cube;
  bad_line.lines.back() = 8;
  Bytes over = empty;
  over[wide ? 8 : 4] = 0xFF;  // polygon count far beyond the body
  over[wide ? 10 : 5] = wide ? 0x01 : 0xFF;
  std::vector<std::pair<std::string, Bytes>> seeds = {
      {"cube", good},         {"empty", empty},
      {"trailing", trailing}, {"short", shorter},
      {"bad-index", Encode(bad_index, wide)}, {"bad-line", Encode(bad_line, wide)},
      {"count-over", over},   {"fan-255", Encode(Fan(lo, hi, 255), wide)},
      {"fan-256", Encode(Fan(lo, hi, 256), wide)}};
  return seeds;
}

bool WriteSet(const std::string& dir, const std::vector<std::pair<std::string, Bytes>>& seeds) {
  mkdir(dir.c_str(), 0755);
  for (const auto& [name, bytes] : seeds)
    if (!WriteFile(dir + "/" + name, bytes)) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  mkdir(root.c_str(), 0755);
  if (!WriteSet(root + "/fonts16", FontSeeds()) || !WriteSet(root + "/model32", ModelSeeds(true)) ||
      !WriteSet(root + "/model16", ModelSeeds(false))) {
    std::perror("make_corpus");
    return 1;
  }
  return 0;
}
