// The shade rows: the documented entries of every palette and the ramp's stepping rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "precalc/precalc.h"

namespace {

struct Entry {
  int row, index;
  uint16_t colour;
};

TEST(SetColors, EveryRowHoldsItsDocumentedColours) {
  std::fill(std::begin(shades), std::end(shades), 0);
  SetColors();
  const Entry expected[] = {
      {0, 0, 0x0007},   {0, 63, 0xFBE0},  {0, 127, 0xFFFF}, {0, 191, 0x7800}, {0, 255, 0x0007},
      {1, 63, 0x01EF},  {1, 191, 0x3BFF}, {1, 255, 0xFFFF}, {2, 0, 0xFBE0},   {2, 1, 0xFBE0},
      {2, 255, 0xFFEF}, {3, 0, 0x7BEF},   {3, 255, 0xFFFF}, {5, 95, 0x3BEF},  {5, 255, 0x7FEF},
      {8, 191, 0x61FF}, {8, 255, 0x7F1F},
  };
  for (const Entry& e : expected)
    EXPECT_EQ(shades[256 * e.row + e.index], e.colour) << "row " << e.row << " entry " << e.index;
}

TEST(SetColors, RowsWithoutPalettesStayBlack) {
  std::fill(std::begin(shades), std::end(shades), 0);
  SetColors();
  for (int row : {4, 6, 7, 9, 30, 63})
    for (int i = 0; i < 256; ++i) ASSERT_EQ(shades[256 * row + i], 0) << "row " << row << " entry " << i;
  // The palettes that ramp from black start one step above it, never on black itself.
  EXPECT_NE(shades[256 * 5 + 255], 0);
  EXPECT_NE(shades[256 * 8 + 100], 0);
}

class Ramp : public ::testing::Test {
 protected:
  std::array<uint16_t, 256> row;
  void SetUp() override { row.fill(0xABCD); }
};

constexpr uint32_t kRed = 255, kGreen = 255 << 8, kBlue = 255u << 16;

TEST_F(Ramp, OneEntryStoresExactlyTheEndColour) {
  MakeColors(row.data(), 0, 0x00FF80FF, 10, 10);  // (255, 128, 255)
  EXPECT_EQ(row[10], 0xFC1F);
  EXPECT_EQ(row[9], 0xABCD);
  EXPECT_EQ(row[11], 0xABCD);
}

TEST_F(Ramp, ChannelsComeFromLowToHighByte) {
  MakeColors(row.data(), 0, kRed, 0, 0);
  MakeColors(row.data(), 0, kGreen, 1, 1);
  MakeColors(row.data(), 0, kBlue, 2, 2);
  EXPECT_EQ(row[0], 0xF800);
  EXPECT_EQ(row[1], 0x07E0);
  EXPECT_EQ(row[2], 0x001F);
}

TEST_F(Ramp, AccumulatorsAreTruncatedNeverRounded) {
  // 255 / 32 = 7.96875 per step: 7.97 packs as 7 >> 3 = 0 for red and 7 >> 2 = 1 for green;
  // rounding would give 1 and 2.
  MakeColors(row.data(), 0, kRed | kGreen, 0, 31);
  EXPECT_EQ(row[0], (0 << 11) | (1 << 5));
  EXPECT_EQ(row[1], (1 << 11) | (3 << 5));  // 15.94
  EXPECT_EQ(row[31], 0xFFE0);               // lands exactly on 255
  EXPECT_EQ(row[32], 0xABCD);
}

TEST_F(Ramp, DescendingRampsTruncateTowardsZero) {
  // From 63 down to 0 over 4 entries: 47.25, 31.5, 15.75, 0.
  MakeColors(row.data(), 63u << 16, 0, 0, 3);
  EXPECT_EQ(row[0], 47 >> 3);
  EXPECT_EQ(row[1], 31 >> 3);
  EXPECT_EQ(row[2], 15 >> 3);
  EXPECT_EQ(row[3], 0);
}

TEST_F(Ramp, StartAfterEndWritesNothing) {
  MakeColors(row.data(), 0, 0xFFFFFF, 5, 4);
  MakeColors(row.data(), 0, 0xFFFFFF, 200, 100);
  for (uint16_t v : row) ASSERT_EQ(v, 0xABCD);
}

}  // namespace
