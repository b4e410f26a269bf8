// Paints the demo's four pictures procedurally and writes them as PNG files into a folder
// (data/ by default). The build does not run it: the committed PNGs are the sources, and this
// program is kept so that they can be made again or changed with intent.
//   paint_assets [folder]
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Colour {
  double r = 0, g = 0, b = 0;  // 0..1
};

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour Scale(Colour a, double s) { return {a.r * s, a.g * s, a.b * s}; }
Colour Add(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Colour Rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

double Smooth(double edge0, double edge1, double x) {
  double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Hue 0..1 around the colour wheel, full saturation.
Colour Hue(double h) {
  h = (h - std::floor(h)) * 6;
  double f = h - std::floor(h);
  switch (static_cast<int>(h)) {
    case 0: return {1, f, 0};
    case 1: return {1 - f, 1, 0};
    case 2: return {0, 1, f};
    case 3: return {0, 1 - f, 1};
    case 4: return {f, 0, 1};
    default: return {1, 0, 1 - f};
  }
}

using Painter = std::function<Colour(double x, double y)>;

// Renders a painter at the given size with n x n samples per pixel.
std::vector<uint8_t> Render(int size, int n, const Painter& paint) {
  std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      Colour sum;
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) sum = Add(sum, paint(x + (i + 0.5) / n, y + (j + 0.5) / n));
      sum = Scale(sum, 1.0 / (n * n));
      uint8_t* p = &rgb[(static_cast<size_t>(y) * size + x) * 3];
      p[0] = static_cast<uint8_t>(std::lround(std::clamp(sum.r, 0.0, 1.0) * 255));
      p[1] = static_cast<uint8_t>(std::lround(std::clamp(sum.g, 0.0, 1.0) * 255));
      p[2] = static_cast<uint8_t>(std::lround(std::clamp(sum.b, 0.0, 1.0) * 255));
    }
  }
  return rgb;
}

bool WritePng(const std::string& path, int size, const std::vector<uint8_t>& rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(size);
  image.height = static_cast<png_uint_32>(size);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "paint_assets: %s: %s\n", path.c_str(), image.message);
    return false;
  }
  return true;
}

double WrapAngle(double a) { return a - 2 * kPi * std::floor((a + kPi) / (2 * kPi)); }

// The loading-screen logo: five curling fern fronds whirling about a hub inside a ring, bright
// on a dark ground. Only its grey levels above 48 show; everything dark becomes blue noise, and
// the border is dark because the loading screen smears the last texels outwards.
Colour PaintFrondle(double x, double y) {
  const Colour ground = Rgb(8, 12, 34);
  double px = x - 64, py = y - 64;
  double r = std::hypot(px, py), th = std::atan2(py, px);
  if (r < 3) return Rgb(30, 24, 60);
  if (r < 9) return Mix(Rgb(255, 236, 140), Rgb(240, 170, 60), (r - 3) / 6);
  if (r > 50 && r < 56) return Mix(Rgb(200, 230, 255), Rgb(120, 170, 240), (r - 50) / 6);
  if (r >= 56 || r < 10) return ground;
  const double curl = 0.045;  // the fronds curl as they grow outwards
  double slope = std::atan(curl * r);
  double arc = (r * std::sqrt(1 + curl * curl * r * r) + std::asinh(curl * r) / curl) / 2;
  for (int arm = 0; arm < 5; ++arm) {
    double offset = WrapAngle(th - arm * 2 * kPi / 5 - curl * r) * r;
    double across = offset * std::cos(slope);  // distance from the spine
    double along = arc + offset * std::sin(slope);
    double grown = (r - 10) / 38;  // 0 at the hub, 1 at the tip
    if (grown > 1.05) continue;
    double reach = 11 * std::sin(kPi * std::min(grown, 1.0) * 0.95 + 0.08);
    if (std::fabs(across) < 1.5) return Mix(Rgb(250, 255, 230), Rgb(200, 255, 170), grown);
    if (std::fabs(across) < reach) {
      // Leaflets slant towards the tip; the gaps between them let the noise through.
      double phase = (along - std::fabs(across) * 0.7) / 5.2;
      if (phase - std::floor(phase) < 0.62) return Mix(Rgb(150, 250, 120), Rgb(90, 210, 170), grown);
    }
  }
  return ground;
}

// Shortest offset on a 128-wide torus, so that the rotozoomer's picture tiles without a seam.
double Torus(double d) { return d - 128 * std::floor((d + 64) / 128); }

Colour Rosette(double dx, double dy, double turn, double hue) {
  double r = std::hypot(dx, dy), th = std::atan2(dy, dx);
  double edge = 24 + 7 * std::cos(6 * th + turn);
  if (r > edge + 1.5) return {-1, -1, -1};
  if (r > edge - 0.5) return Rgb(20, 10, 30);  // lead line around the glass
  if (r < 5) return Mix(Rgb(255, 250, 220), Rgb(250, 200, 60), r / 5);
  if (r < 6.5) return Rgb(20, 10, 30);
  // Each petal is a pane of its own hue, lit towards its outer edge.
  double phi = WrapAngle(6 * th + turn);  // 0 on a petal's middle, +-pi between petals
  if ((kPi - std::fabs(phi)) / 6 * r < 0.8) return Rgb(20, 10, 30);
  double petal = std::fmod(std::round((6 * th + turn - phi) / (2 * kPi)) + 12, 6);
  Colour glass = Hue(hue + petal / 12);
  return Mix(Scale(glass, 0.55), Add(Scale(glass, 0.8), Rgb(60, 60, 60)), r / edge);
}

// The rotozoomers' picture: stained-glass rosettes on a tile of 128 x 128 whose ground is
// built from whole periods, so the tile repeats without a seam in every direction.
Colour PaintDracul(double x, double y) {
  Colour big = Rosette(Torus(x - 64), Torus(y - 64), 0.0, 0.0);
  if (big.r >= 0) return big;
  Colour corner = Rosette(Torus(x), Torus(y), kPi / 6, 0.5);
  if (corner.r >= 0) return corner;
  for (int k = 0; k < 2; ++k) {  // small jewels on the edge midpoints
    double dx = Torus(x - (k ? 0 : 64)), dy = Torus(y - (k ? 64 : 0));
    double r = std::hypot(dx, dy);
    if (r < 9) return r > 7.5 ? Rgb(20, 10, 30) : Mix(Rgb(255, 255, 255), Hue(0.15 + 0.5 * k), r / 7.5);
  }
  double wx = 2 * kPi * x / 128, wy = 2 * kPi * y / 128;
  double wave = 0.5 + 0.25 * std::sin(2 * wx + wy) + 0.25 * std::cos(wx - 3 * wy);
  double lattice = std::fabs(std::sin(4 * (wx + wy))) * std::fabs(std::sin(4 * (wx - wy)));
  Colour ground = Mix(Rgb(20, 40, 90), Rgb(30, 140, 130), wave);
  return Mix(ground, Rgb(10, 15, 35), Smooth(0.85, 1.0, 1 - lattice) * 0.7);
}

// The environment map: a glossy ball under a blue sky above a warm floor, one soft key light
// and a tight highlight, read as a sphere of normals.
Colour PaintEnv(double x, double y) {
  double nx = (x - 32) / 31, ny = (y - 32) / 31;
  double len = std::hypot(nx, ny);
  if (len > 1) {
    nx /= len;
    ny /= len;
    len = 1;
  }
  double nz = std::sqrt(std::max(0.0, 1 - len * len));
  const double lx = -0.45, ly = -0.55, lz = 0.70;
  double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
  double rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;  // reflected view ray
  double glint = std::pow(std::max(0.0, rx * lx + ry * ly + rz * lz), 48);
  Colour sky = Mix(Rgb(230, 240, 255), Rgb(60, 110, 210), Smooth(0.0, 1.0, -ry));
  Colour floor = Mix(Rgb(230, 200, 170), Rgb(120, 60, 40), Smooth(0.0, 1.0, ry));
  Colour env = Mix(floor, sky, Smooth(-0.2, 0.2, -ry));
  double rim = std::pow(1 - nz, 2);  // grazing rays reflect more
  Colour body = Rgb(60, 110, 200);
  Colour lit = Add(Scale(body, 0.2 + 0.65 * diffuse), Scale(env, 0.25 + 0.5 * rim));
  return Add(lit, Scale(Rgb(255, 255, 255), glint));
}

// The bilinear cube's texture: a glass marble in a ring on a diagonal gradient, inside a gold
// frame with a dark inner line, so that each face reads as a tile and the filtering shows as
// smooth ramps across the hard-edged shapes when the cube comes close.
Colour PaintTexture(double x, double y) {
  double ex = std::min(x, 64 - x), ey = std::min(y, 64 - y), edge = std::min(ex, ey);
  if (edge < 3) return Mix(Rgb(255, 230, 120), Rgb(190, 120, 30), edge / 3);
  if (edge < 4) return Rgb(40, 20, 10);
  double px = x - 32, py = y - 32, r = std::hypot(px, py);
  if (r < 14) {
    double hx = px + 5, hy = py + 5;  // highlight up and to the left
    double shine = std::exp(-(hx * hx + hy * hy) / 18);
    Colour glass = Mix(Rgb(120, 220, 255), Rgb(20, 60, 150), r / 14);
    return Mix(glass, Rgb(255, 255, 255), shine);
  }
  if (r < 15) return Rgb(20, 20, 40);
  if (r < 19) return Mix(Rgb(255, 150, 60), Rgb(230, 60, 90), (r - 15) / 4);
  if (r < 20) return Rgb(20, 20, 40);
  double diamond = std::fabs(std::fabs(px) - 20) + std::fabs(std::fabs(py) - 20);
  if (diamond < 5) return Mix(Rgb(255, 255, 200), Rgb(120, 255, 160), diamond / 5);
  return Mix(Rgb(30, 100, 130), Rgb(110, 40, 150), (x + y) / 128);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : "data";
  bool ok = WritePng(folder + "/frondle.png", 128, Render(128, 4, PaintFrondle));
  ok = WritePng(folder + "/dracul.png", 128, Render(128, 4, PaintDracul)) && ok;
  ok = WritePng(folder + "/env1.png", 64, Render(64, 4, PaintEnv)) && ok;
  ok = WritePng(folder + "/text64.png", 64, Render(64, 2, PaintTexture)) && ok;
  return ok ? 0 : 1;
}
