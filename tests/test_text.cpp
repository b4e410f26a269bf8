// The printers' placement, wobble and clipping, the 8 x 8 font's stop rules, and the checks
// on "fonts16.bin". The 16-pixel tests load a font of their own so they do not depend on the
// shapes of the generated one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/assets.h"
#include "platform/demo.h"
#include "text/text.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Image = std::vector<uint16_t>;

// 'A' is a full cell whose level tells the column (1 + c % 15); 'B' is empty but for its
// diagonal; every other code maps to the blank glyph 0.
Bytes TestFontImage() {
  Bytes img(kFonts16FileSize, 0);
  img['A'] = 1;
  img['B'] = 2;
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) {
      img[256 + 256 + 16 * r + c] = static_cast<uint8_t>(1 + c % 15);
      img[256 + 512 + 16 * r + c] = r == c ? 15 : 0;
    }
  return img;
}

// Entry 16 v of the table is 1000 + v, so a pixel tells which level painted it.
std::vector<uint16_t> LevelTable() {
  std::vector<uint16_t> t(256, 0xDEAD);
  for (int v = 1; v <= 15; ++v) t[16 * v] = static_cast<uint16_t>(1000 + v);
  return t;
}

struct Box {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
};

Box Painted(const Image& img, uint16_t background) {
  Box b;
  for (int i = 0; i < kPixels; ++i) {
    if (img[i] == background) continue;
    const int x = i % kWidth, y = i / kWidth;
    b.left = std::min(b.left, x);
    b.right = std::max(b.right, x);
    b.top = std::min(b.top, y);
    b.bottom = std::max(b.bottom, y);
    ++b.count;
  }
  return b;
}

class Printers : public ::testing::Test {
 protected:
  Image screen = Image(kPixels, 0);
  std::vector<uint16_t> table = LevelTable();
  void SetUp() override {
    const Bytes img = TestFontImage();
    ASSERT_EQ(LoadFonts16(img.data(), img.size()), nullptr);
    prticks = 0;
  }
  uint16_t At(int x, int y) const { return screen[y * kWidth + x]; }
};

TEST_F(Printers, NoLengthDrawsNothing) {
  PrintNormal(10, 10, "AAA", 0, table.data(), screen.data());
  Print(10, 10, "AAA", -1, table.data(), screen.data());
  Print8(10, 10, "AAA", INT_MIN, screen.data(), 0);
  EXPECT_EQ(Painted(screen, 0).count, 0);
}

TEST_F(Printers, LevelsGoThroughTheTableOrAsSixteenTimesTheLevel) {
  PrintNormal(0, 0, "A", 1, table.data(), screen.data());
  Print8(0, 20, "A", 1, screen.data(), 0);
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(At(c, 5), 1000 + 1 + c % 15);
    EXPECT_EQ(At(c, 25), 16 * (1 + c % 15));
  }
}

TEST_F(Printers, LevelZeroLeavesTheDestinationAlone) {
  screen.assign(kPixels, 7);
  PrintNormal(40, 40, "B", 1, table.data(), screen.data());
  PrintFont8(80, 40, 'B', screen.data());
  const Box b = Painted(screen, 7);
  EXPECT_EQ(b.count, 32);  // only the two diagonals
  EXPECT_EQ(At(40, 40), 1015);
  EXPECT_EQ(At(41, 40), 7);
  EXPECT_EQ(At(95, 55), 240);
}

TEST_F(Printers, StringsAdvanceSixteenAndTakeExactlyLengthBytes) {
  const char text[] = {'A', '\0', 'A', 'A'};  // a zero byte is an ordinary (blank) character
  PrintNormal(0, 100, text, 3, table.data(), screen.data());
  const Box b = Painted(screen, 0);
  EXPECT_EQ(b.count, 2 * 256);
  EXPECT_EQ(At(0, 100), 1001);
  EXPECT_EQ(At(16, 100), 0);
  EXPECT_EQ(At(32, 100), 1001);
  EXPECT_EQ(At(48, 100), 0);
}

TEST_F(Printers, CharactersEntirelyOffTheSidesAreSkipped) {
  PrintNormal(-16, 50, "A", 1, table.data(), screen.data());
  PrintNormal(336, 50, "A", 1, table.data(), screen.data());
  Print(-16, 50, "A", 1, table.data(), screen.data());
  EXPECT_EQ(Painted(screen, 0).count, 0);
}

TEST_F(Printers, PartlyVisibleCharactersAreClippedByColumn) {
  PrintNormal(-8, 50, "A", 1, table.data(), screen.data());
  Box b = Painted(screen, 0);
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.right, 7);
  EXPECT_EQ(At(0, 50), 1000 + 1 + 8 % 15);  // the glyph's column 8 lands on screen column 0

  screen.assign(kPixels, 0);
  PrintNormal(312, 50, "A", 1, table.data(), screen.data());
  b = Painted(screen, 0);
  EXPECT_EQ(b.left, 312);
  EXPECT_EQ(b.right, 319);
  EXPECT_EQ(b.count, 8 * 16);  // nothing wrapped onto the next rows' left edge
}

TEST_F(Printers, RowsAreTestedPerCharacter) {
  PrintNormal(0, 223, "A", 1, table.data(), screen.data());
  EXPECT_EQ(Painted(screen, 0).bottom, 238);
  screen.assign(kPixels, 0);
  PrintNormal(0, 224, "A", 1, table.data(), screen.data());
  PrintNormal(0, -1, "A", 1, table.data(), screen.data());
  EXPECT_EQ(Painted(screen, 0).count, 0);
  PrintFont(0, 224, 'A', table.data(), screen.data());  // single characters make no row test
  EXPECT_EQ(Painted(screen, 0).bottom, 239);
}

TEST_F(Printers, PrintWobblesEachCharacterOnItsOwnPath) {
  Print(100, 50, "AA", 2, table.data(), screen.data());
  // At t = 0 the first character sits still; the second is 8 sin(0.5) = 3.84 right and
  // 8 sin(0.75) = 5.45 down, truncated.
  EXPECT_EQ(At(100, 50), 1001);
  EXPECT_EQ(At(99, 50), 0);
  EXPECT_EQ(At(116 + 3, 55), 1001);
  EXPECT_EQ(At(116 + 3, 54), 0);

  screen.assign(kPixels, 0);
  prticks = 1920;  // 8 sin(10) = -4.35 and 8 sin(20) = 7.30
  Print(100, 50, "A", 1, table.data(), screen.data());
  const Box b = Painted(screen, 0);
  EXPECT_EQ(b.left, 95);
  EXPECT_EQ(b.top, 57);
}

TEST_F(Printers, Print8WobblesByThePhaseAndTruncatesTowardsZero) {
  prticks = 1000;  // X = 100 + 4 sin(7.8125) = 103.997, Y = 50 + 6 sin(10.92) = 44.02
  Print8(100, 50, "A", 1, screen.data(), 2);
  Box b = Painted(screen, 0);
  EXPECT_EQ(b.left, 103);
  EXPECT_EQ(b.top, 44);

  screen.assign(kPixels, 0);
  prticks = 0;  // Y = 10 + 6 sin(-1) = 4.95
  Print8(40, 10, "A", 1, screen.data(), -4);
  b = Painted(screen, 0);
  EXPECT_EQ(b.left, 40);
  EXPECT_EQ(b.top, 4);
}

TEST_F(Printers, SingleCharactersFarOffTheBufferDrawNothing) {
  PrintFont(INT_MAX, 0, 'A', table.data(), screen.data());
  PrintFont8(INT_MIN, 0, 'A', screen.data());
  PrintFont8(0, 400, 'A', screen.data());
  EXPECT_EQ(Painted(screen, 0).count, 0);
}

// ---- the 8 x 8 font ---------------------------------------------------------------------

class SmallFont : public ::testing::Test {
 protected:
  Image screen = Image(kPixels, 0x1234);
  // Glyph g lights only its top-left pixel and the pixel in column g % 8 of its last row.
  void SetUp() override {
    std::fill(std::begin(fonts), std::end(fonts), 0);
    for (int g = 0; g < 59; ++g) {
      fonts[64 * g] = 255;
      fonts[64 * g + 56 + g % 8] = 255;
    }
  }
  uint16_t At(int x, int y) const { return screen[y * kWidth + x]; }
};

TEST_F(SmallFont, SixteenBitCellsAreOpaqueBlackAndWhite) {
  DrawFont(10, 10, 3, 16, screen.data());
  EXPECT_EQ(At(10, 10), 0xFFFF);
  EXPECT_EQ(At(11, 10), 0);
  EXPECT_EQ(At(13, 17), 0xFFFF);
  EXPECT_EQ(At(18, 10), 0x1234);
  EXPECT_EQ(Painted(screen, 0x1234).count, 64);
}

TEST_F(SmallFont, EightBitDrawingOrsIntoBytes) {
  std::vector<uint8_t> bytes(kPixels, 0x0F);
  DrawFont(0, 1, 0, 8, bytes.data());
  EXPECT_EQ(bytes[320 * 1 + 0], 0xFF);
  EXPECT_EQ(bytes[320 * 1 + 1], 0x0F);
  DrawFont(0, 1, 0, 24, bytes.data());  // other depths draw nothing
  DrawFont(0, 1, 59, 8, bytes.data());  // nor do glyphs past the font
  EXPECT_EQ(bytes[320 * 1 + 1], 0x0F);
}

TEST_F(SmallFont, RowsZeroAnd239AreNeverTouched) {
  DrawFont(0, 0, 0, 16, screen.data());    // would start on row 0
  DrawFont(0, 232, 7, 16, screen.data());  // would end on row 239
  const Box b = Painted(screen, 0x1234);
  EXPECT_EQ(b.top, 1);
  EXPECT_EQ(b.bottom, 238);
  EXPECT_EQ(b.count, 7 * 8 + 7 * 8);
}

TEST_F(SmallFont, TextStopsAtAZeroByte) {
  DrawText_(8, 16, 8, "AB\0CD", 16, screen.data());
  const Box b = Painted(screen, 0x1234);
  EXPECT_EQ(b.right, 23);
}

TEST_F(SmallFont, TextStopsAfterNCharacters) {
  DrawText_(8, 16, 3, "ABCDEF", 16, screen.data());
  EXPECT_EQ(Painted(screen, 0x1234).right, 31);
  screen.assign(kPixels, 0x1234);
  DrawText_(8, 16, 0, "ABCDEF", 16, screen.data());
  EXPECT_EQ(Painted(screen, 0x1234).count, 0);
}

TEST_F(SmallFont, TextStopsAtTheRightEdge) {
  DrawText_(296, 16, 50, "ABCDEFGH", 16, screen.data());
  // Cells at 296, 304 and 312; the next one would start past column 319.
  const Box b = Painted(screen, 0x1234);
  EXPECT_EQ(b.left, 296);
  EXPECT_EQ(b.right, 319);
  EXPECT_EQ(b.count, 3 * 64);
}

TEST_F(SmallFont, CodesOutsideTheFontTakeACellButDrawNothing) {
  DrawText_(8, 16, 8, "AbC", 16, screen.data());
  EXPECT_EQ(At(8, 16), 0xFFFF);
  EXPECT_EQ(At(16, 16), 0x1234);
  EXPECT_EQ(At(24, 16), 0xFFFF);
}

// ---- loading "fonts16.bin" --------------------------------------------------------------

class Fonts16File : public ::testing::Test {
 protected:
  void SetUp() override {
    std::fill(std::begin(cc), std::end(cc), 3);
    std::fill(std::begin(fonts16), std::end(fonts16), 4);
  }
  static bool Untouched() {
    for (uint8_t v : cc)
      if (v != 3) return false;
    for (uint8_t v : fonts16)
      if (v != 4) return false;
    return true;
  }
};

TEST_F(Fonts16File, AWellFormedImageIsLoadedAndTrailingBytesIgnored) {
  Bytes img = TestFontImage();
  img.push_back(99);
  EXPECT_EQ(LoadFonts16(img.data(), img.size()), nullptr);
  EXPECT_EQ(cc['A'], 1);
  EXPECT_EQ(cc['Z'], 0);
  EXPECT_EQ(fonts16[256 + 17], 2);
}

TEST_F(Fonts16File, FaultsAreDescribedAndLoadNothing) {
  Bytes img = TestFontImage();
  const char* why = LoadFonts16(img.data(), img.size() - 1);
  ASSERT_NE(why, nullptr);
  EXPECT_STREQ(why, "only 22271 bytes, needs 22272");
  EXPECT_NE(LoadFonts16(nullptr, 0), nullptr);

  img['A'] = 86;
  why = LoadFonts16(img.data(), img.size());
  ASSERT_NE(why, nullptr);
  EXPECT_STREQ(why, "map entry for code 65 is 86, above 85");
  img['A'] = 1;
  img[255] = 86;  // the last code of the map is checked too
  EXPECT_STREQ(LoadFonts16(img.data(), img.size()), "map entry for code 255 is 86, above 85");

  img = TestFontImage();
  img[256 + 256 * 85 + 16 * 15 + 15] = 16;
  why = LoadFonts16(img.data(), img.size());
  ASSERT_NE(why, nullptr);
  EXPECT_STREQ(why, "glyph 85 row 15 column 15 holds 16, above 15");
  EXPECT_TRUE(Untouched());
}

// InitFonts reads from the working directory; each case runs in a folder of its own.
class InitFontsFile : public ::testing::Test {
 protected:
  std::string home, dir;
  void SetUp() override {
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    home = buf;
    char tmpl[] = "/tmp/gw-fonts-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ASSERT_EQ(chdir(dir.c_str()), 0);
  }
  void TearDown() override {
    std::remove((dir + "/fonts16.bin").c_str());
    rmdir(dir.c_str());
    EXPECT_EQ(chdir(home.c_str()), 0);
  }
  void Write(const Bytes& data) {
    std::FILE* f = std::fopen("fonts16.bin", "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
};

TEST_F(InitFontsFile, AMissingFileIsNamedWithItsFault) {
  const char* why = InitFonts();
  ASSERT_NE(why, nullptr);
  EXPECT_EQ(std::string(why).rfind("fonts16.bin: cannot be opened (No such file or directory); looked in ", 0), 0u)
      << why;
}

TEST_F(InitFontsFile, AShortOrMalformedFileIsNamedWithItsFault) {
  Bytes img = TestFontImage();
  img.resize(300);
  Write(img);
  EXPECT_STREQ(InitFonts(), "fonts16.bin: only 300 bytes, needs 22272");
  img = TestFontImage();
  img['A'] = 90;
  Write(img);
  EXPECT_STREQ(InitFonts(), "fonts16.bin: map entry for code 65 is 90, above 85");
  img = TestFontImage();
  img[256 + 100] = 200;
  Write(img);
  EXPECT_STREQ(InitFonts(), "fonts16.bin: glyph 0 row 6 column 4 holds 200, above 15");
}

// Every descriptor the loader opens is closed again, whether the file was good or not.
TEST_F(InitFontsFile, LoadingLeavesNoFileOpen) {
  auto open_files = [] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = open_files();
  Write(TestFontImage());
  EXPECT_EQ(InitFonts(), nullptr);
  EXPECT_EQ(open_files(), before);
  Bytes img = TestFontImage();
  img[256] = 16;
  Write(img);
  EXPECT_NE(InitFonts(), nullptr);
  EXPECT_EQ(open_files(), before);
}

TEST_F(InitFontsFile, AGoodFileIsLoadedAndTheSmallFontExpanded) {
  Write(TestFontImage());
  EXPECT_EQ(InitFonts(), nullptr);
  EXPECT_EQ(cc['B'], 2);
  for (int g = 0; g < 59; ++g)
    for (int i = 0; i < 64; ++i) {
      const bool set = (bitfonts[8 * g + i / 8] >> (7 - i % 8)) & 1;
      ASSERT_EQ(fonts[64 * g + i], set ? 255 : 0) << "glyph " << g << " pixel " << i;
    }
}

// ---- the font assets the build made ------------------------------------------------------

TEST(FontAssets, TheGeneratedFileLoadsAndCoversTheDemoTexts) {
  std::FILE* f = std::fopen("fonts16.bin", "rb");
  ASSERT_NE(f, nullptr) << "run from the build folder";
  Bytes img(kFonts16FileSize + 1);
  const size_t got = std::fread(img.data(), 1, img.size(), f);
  std::fclose(f);
  EXPECT_EQ(got, kFonts16FileSize);
  ASSERT_EQ(LoadFonts16(img.data(), got), nullptr);
  EXPECT_EQ(cc[' '], 0);
  for (int r = 0; r < 256; ++r) ASSERT_EQ(fonts16[r], 0) << "the space glyph is blank";
  for (const char* s : {"Frondling..", "Frondle?", "Bilinear!", "RGB!!!", "Glasswhirligo", "Kein gfx",
                        "No Design", "Marble Dunsels", "Morwick", "0123456789,:;-'\"()/+=&"}) {
    for (const char* p = s; *p; ++p) {
      if (*p == ' ') continue;
      int ink = 0;
      for (int i = 0; i < 256; ++i) ink += fonts16[256 * cc[static_cast<uint8_t>(*p)] + i];
      EXPECT_GT(ink, 0) << "'" << *p << "' has a glyph";
    }
  }
}

TEST(FontAssets, TheSmallFontEndsWithABlankGlyph) {
  for (int r = 0; r < 8; ++r) EXPECT_EQ(bitfonts[59 * 8 + r], 0);
  int ink = 0;
  for (int i = 8; i < 59 * 8; ++i) ink += bitfonts[i] != 0;
  EXPECT_GT(ink, 300);
}

}  // namespace
