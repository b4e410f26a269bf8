// Every WebAssembly SIMD loop against its plain twin, under node: each case runs once with the
// wide loops and once with them switched off, on the same random and edge inputs, and fails on
// any differing value. A case also fails when a wide loop it should reach did not run, so a
// pick that falls back to the plain twin is seen too. Then both forms are timed and the
// speed-ups printed (figures only: no case fails for being slow).
#include <emscripten.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "effects/effects.h"
#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "platform/wide.h"
#include "precalc/precalc.h"
#include "render3d/fillers.h"
#include "render3d/render3d.h"

namespace {

using Values = std::vector<uint16_t>;

// Reproducible inputs: the same seed gives the same numbers in both runs of a case.
struct Random {
  uint32_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  int32_t In(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
  Values Fill(size_t n, uint32_t top) {
    Values v(n);
    for (auto& x : v) x = static_cast<uint16_t>(Next() % (top + 1));
    return v;
  }
};

// A case draws from its seed into `out` (all it wrote, in one vector).
struct Case {
  const char* name;
  uint32_t loops;  // the wide loops it must reach
  std::function<void(Random&, Values&)> run;
};

#ifdef GW_WASM_WIDE
void Append(Values& out, const uint16_t* p, size_t n) { out.insert(out.end(), p, p + n); }

void Tables() {
  PrecDivs();
  SinePrecs();
  PolarInit();
  RotoBitmapInit();
  InitBlob();
  SetColors();
}

std::vector<Case> Cases() {
  std::vector<Case> c;
  c.push_back({"transpose: screen both ways, small and narrow tiles", kWasmTranspose, [](Random& r, Values& out) {
    for (auto [rows, cols] : {std::pair{240, 320}, {320, 240}, {8, 8}, {8, 320}, {24, 16}}) {
      Values src = r.Fill(static_cast<size_t>(rows * cols), 65535), dst(src.size());
      TransposePixels(dst.data(), src.data(), rows, cols);
      Append(out, dst.data(), dst.size());
    }
  }});
  c.push_back({"rotozoomer: bands in every order, angles, zooms that wrap", kWasmRotoGrey | kWasmRotoColour,
               [](Random& r, Values& out) {
    const uint32_t bands[][2] = {{0, 0}, {240, 240}, {80, 160}, {1, 239}, {239, 240}, {300, 10}, {0, 400}};
    const float zooms[] = {1.0f, 0.0f, -0.7f, 0.013f, 3.9f, 40000.0f};
    Values dst(kPixels);
    for (auto& b : bands)
      for (float zoom : zooms) {
        RotozoomerAll(dst.data(), static_cast<float>(r.In(-720, 720)) + 0.25f, zoom, b[0], b[1]);
        Append(out, dst.data(), dst.size());
      }
    // A grey picture that changed since the last call.
    uint8_t saved[16384];
    std::memcpy(saved, gradbmp, sizeof saved);
    for (auto& g : gradbmp) g = static_cast<uint8_t>(r.Next());
    RotozoomerAll(dst.data(), 33.0f, 0.8f, 0, 240);
    Append(out, dst.data(), dst.size());
    std::memcpy(gradbmp, saved, sizeof saved);
  }});
  c.push_back({"nearest blob: every width 1 .. 64 and beyond, clipped at all edges, saturating",
               kWasmBlobNearest, [](Random& r, Values& out) {
    Values buffer = r.Fill(kPixels, 255);
    for (int i = 0; i < kPixels; i += 7) buffer[static_cast<size_t>(i)] = static_cast<uint16_t>(r.In(250, 65535));
    for (int width = 1; width <= 70; ++width) {
      const double zoom = (width + 0.5) / 64.0;  // n + 1 = width sprite columns
      drawZoomBlobNearest(r.In(0, 319), r.In(0, 239), zoom, buffer.data());
      drawZoomBlobNearest(319 + r.In(-40, 40), r.In(-40, 280), zoom, buffer.data());  // right end
      drawZoomBlobNearest(r.In(-40, 40), r.In(-40, 280), zoom, buffer.data());        // left end
    }
    for (int k = 0; k < 400; ++k)
      drawZoomBlobNearest(r.In(-80, 400), r.In(-80, 320), r.In(0, 1300) / 1000.0, buffer.data());
    for (int k = 0; k < 40; ++k) drawZoomBlobNearest(160, 120, 1.0, buffer.data());  // saturates
    prticks = r.Next() % 240000;
    Galaxy(buffer.data(), 0, static_cast<float>(r.In(-100, 3000)));
    Append(out, buffer.data(), buffer.size());
  }});
  c.push_back({"blur: radii 0 .. beyond the line, 8-bit and 16-bit values", kWasmBlur | kWasmTranspose,
               [](Random& r, Values& out) {
    for (uint32_t radius : {0u, 1u, 2u, 7u, 118u, 119u, 120u, 159u, 160u, 500u}) {
      Values src = r.Fill(kPixels, radius % 2 ? 65535 : 255), a(kPixels), b(kPixels), c2(kPixels);
      BlurX(a.data(), src.data(), radius);
      BlurY(b.data(), src.data(), radius);
      BlurBothWays(a.data(), c2.data(), b.data(), src.data(), radius);
      for (auto* v : {&a, &b, &c2}) Append(out, v->data(), v->size());
    }
  }});
  c.push_back({"crossfades: levels at and beyond the ends, in place", kWasmCrossfade, [](Random& r, Values& out) {
    for (int level : {0, 1, 127, 128, 255, 256, -1, 1000, r.In(0, 255)}) {
      Values a = r.Fill(kPixels, 65535), b = r.Fill(kPixels, 65535), dst(kPixels);
      Crossfade(dst.data(), a.data(), b.data(), level);
      Append(out, dst.data(), dst.size());
      CrossfadeToColor(dst.data(), a.data(), r.In(0, 255), r.In(0, 255), r.In(0, 255), level);
      Append(out, dst.data(), dst.size());
      Crossfade(a.data(), a.data(), b.data(), level);  // into a source
      CrossfadeToColor(b.data(), b.data(), 255, 255, 255, level);
      Append(out, a.data(), a.size());
      Append(out, b.data(), b.size());
    }
  }});
  c.push_back({"table fades: levels 0 .. 255 and beyond, in place", kWasmTableFade, [](Random& r, Values& out) {
    for (uint32_t top : {255u, 256u, 65535u}) {
      Values src = r.Fill(kPixels, 65535), table = r.Fill(kPixels, top), dst(kPixels);
      CrossfadeToColorTable(dst.data(), src.data(), r.In(0, 255), r.In(0, 255), r.In(0, 255), table.data());
      Append(out, dst.data(), dst.size());
      CrossfadeToColorTable2(dst.data(), src.data(), r.In(0, 255), r.In(0, 255), r.In(0, 255), table.data());
      Append(out, dst.data(), dst.size());
      CrossfadeToColorTable2(src.data(), src.data(), 0, 0, 0, table.data());
      Append(out, src.data(), src.size());
    }
  }});
  c.push_back({"polar: any phase, palettes in and outside the shades", kWasmPolar,
               [](Random& r, Values& out) {
    Values own = r.Fill(256, 65535), dst(kPixels);
    const uint16_t* palettes[] = {shades, shades + 5 * 256, shades + 63 * 256, own.data()};
    for (const uint16_t* palette : palettes) {
      prfrm = r.Next();
      Polar(dst.data(), palette);
      Append(out, dst.data(), dst.size());
    }
  }});
  c.push_back({"star spans: lengths 0 .. 80, clipped at every edge, at the buffer's end, wild shades",
               kWasmStarSpans, [](Random& r, Values& out) {
    Values frame = r.Fill(kPixels, 65535);
    for (int i = 0; i < kPixels; ++i) zbuffer[i] = r.Next() % 3 ? 0xFFFFFFFFu : r.Next() >> r.In(0, 31);
    // Shades beyond 255 make steps that leave the 32-bit range, and negative shades with them.
    auto corner = [&r](int p, int32_t x, int32_t y) {
      spts[p] = {x, y, static_cast<uint16_t>(r.Next() % 4 ? r.In(0, 255) : r.In(0, 65535))};
      fpts[p] = {0, 0, r.In(-300, 70000)};
    };
    const Polygon3d tri = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0};
    for (int k = 0; k < 3000; ++k) {
      // Small triangles anywhere (their spans are a few pixels), some across the screen's edges
      // and along its last rows.
      const int32_t x = r.In(-30, 350), y = k % 5 == 0 ? r.In(225, 250) : r.In(-30, 270);
      const int32_t size = k % 9 == 0 ? 40 : 8;
      corner(0, x, y);
      corner(1, x + r.In(-size, size), y + r.In(0, size));
      corner(2, x + r.In(-size, size), y + r.In(-size, size));
      FillTriangle(FillKind::ShadeRawDepth, tri, FillSource{0, nullptr}, frame.data());
    }
    Append(out, frame.data(), frame.size());
    Append(out, reinterpret_cast<const uint16_t*>(zbuffer), 2 * kPixels);
  }});
  return c;
}

// Runs a case in one form: its output and the wide loops that ran.
Values RunOnce(const Case& c, bool wide, uint32_t seed, uint32_t& ran) {
  wasm_wide_on = wide;
  wasm_wide_ran = 0;
  Random r{seed};
  Values out;
  c.run(r, out);
  ran = wasm_wide_ran;
  wasm_wide_on = true;
  return out;
}

// The first difference between the two forms, or why the case failed; nullptr when it passed.
bool Check(const Case& c, uint32_t seed) {
  uint32_t ran_wide = 0, ran_plain = 0;
  const Values wide = RunOnce(c, true, seed, ran_wide);
  const Values plain = RunOnce(c, false, seed, ran_plain);
  if ((ran_wide & c.loops) != c.loops) {
    std::printf("FAIL %s: wide loops 0x%x did not run\n", c.name, c.loops & ~ran_wide);
    return false;
  }
  if (ran_plain != 0) {
    std::printf("FAIL %s: wide loops 0x%x ran while switched off\n", c.name, ran_plain);
    return false;
  }
  if (wide.size() != plain.size()) {
    std::printf("FAIL %s: %zu values against %zu\n", c.name, wide.size(), plain.size());
    return false;
  }
  for (size_t i = 0; i < wide.size(); ++i)
    if (wide[i] != plain[i]) {
      std::printf("FAIL %s (seed %u): value %zu is %04x wide, %04x plain\n", c.name, seed, i, wide[i], plain[i]);
      return false;
    }
  return true;
}

// Mean milliseconds of one routine call in the given form.
double Time(bool wide, const std::function<void()>& f, int calls) {
  wasm_wide_on = wide;
  f();
  double t0 = emscripten_get_now();
  for (int k = 0; k < calls; ++k) f();
  wasm_wide_on = true;
  return (emscripten_get_now() - t0) / calls;
}

void ReportSpeed() {
  static Values a(kPixels, 1000), b(kPixels, 2000), dst(kPixels), blobs(kPixels, 0);
  static Values levels = Random{7}.Fill(kPixels, 255);
  const std::pair<const char*, std::function<void()>> loops[] = {
      {"rotozoomer, nearest", [] { RotozoomerAll(dst.data(), 20, 0.7f, 240, 240); }},
      {"rotozoomer, grey", [] { RotozoomerAll(dst.data(), 20, 0.7f, 0, 240); }},
      {"rotozoomer, colour", [] { RotozoomerAll(dst.data(), 20, 0.7f, 0, 0); }},
      {"galaxy (nearest blobs)", [] { prticks = 5000; Galaxy(blobs.data(), 0, 400); }},
      {"blur both ways, r 4", [] { BlurBothWays(a.data(), b.data(), dst.data(), levels.data(), 4); }},
      {"blur both ways, r 20", [] { BlurBothWays(a.data(), b.data(), dst.data(), levels.data(), 20); }},
      {"transpose", [] { TransposePixels(dst.data(), a.data(), kHeight, kWidth); }},
      {"crossfade", [] { Crossfade(dst.data(), a.data(), b.data(), 100); }},
      {"table fade", [] { CrossfadeToColorTable(dst.data(), a.data(), 0, 0, 0, levels.data()); }},
      {"polar", [] { Polar(dst.data(), shades + 256); }},
  };
  for (const auto& [name, f] : loops) {
    const double plain = Time(false, f, 40), wide = Time(true, f, 40);
    std::printf("  %-24s plain %.3f ms, wide %.3f ms: %.1fx\n", name, plain, wide, plain / wide);
  }
}
#endif

}  // namespace

int main() {
#ifndef GW_WASM_WIDE
#ifdef GW_EXPECT_WASM_WIDE
  std::printf("FAIL the build has no WebAssembly SIMD loops (GW_WASM_WIDE is not set)\n");
  return 1;
#else
  std::printf("wide-check: a plain-loops build; nothing to compare\n");
  return 0;
#endif
#else
  Tables();
  int failed = 0, run = 0;
  std::vector<Case> cases = Cases();
  uint32_t covered = 0;
  for (const Case& c : cases) {
    covered |= c.loops;
    for (uint32_t seed : {1u, 2u, 3u}) {
      ++run;
      if (!Check(c, seed * 2654435761u)) {
        ++failed;
        break;
      }
    }
  }
  if (covered != kWasmAllLoops) {
    std::printf("FAIL wide loops 0x%x have no case\n", kWasmAllLoops & ~covered);
    ++failed;
  }
  std::printf("wide-check: %zu cases, %d runs, %d failed\n", cases.size(), run, failed);
  if (failed) return 1;
  ReportSpeed();
  return 0;
#endif
}
