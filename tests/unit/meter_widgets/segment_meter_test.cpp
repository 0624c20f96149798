// Which rows of a level bar light for a level and a peak.
#include "segment_meter.h"
#include "widget_fixture.h"

#include <vector>

namespace {

const double kThresholds[] = {-0.5, -1,  -2,  -3,  -4,  -5,  -6,  -7,  -8,  -9,  -10, -11,
                              -12,  -13, -14, -15, -16, -17, -18, -19, -20, -21, -24, -27,
                              -30,  -33, -36, -42, -48, -54, -60, -72, -84, -96, -108};

// The meter stands at (3, 4) of a larger canvas, so that misplaced copies show.
struct MeterPicture {
  explicit MeterPicture(double level, double peak = -500.0) {
    SegmentMeter meter(3, 4, 9, 175, nullptr, 35, kThresholds, Solid(9, 176, *wxBLACK),
                       Solid(9, 176, *wxWHITE));
    meter.level = level;
    meter.peak = peak;
    Canvas canvas(15, 185);
    meter.Draw(canvas.dc());
    image = canvas.Image();
  }
  // The meter rows (0 to 174) that show lit.
  std::vector<int> LitRows() const {
    std::vector<int> rows;
    for (int row = 0; row < 175; ++row)
      if (IsColour(image, 3, 4 + row, *wxWHITE)) rows.push_back(row);
    return rows;
  }
  wxImage image;
};

std::vector<int> Rows(int from, int to) {
  std::vector<int> rows;
  for (int row = from; row < to; ++row) rows.push_back(row);
  return rows;
}

TEST(SegmentMeter, LevelLightsFromItsSegmentToTheBottom) {
  EXPECT_EQ(MeterPicture(-0.5).LitRows(), Rows(0, 175));
  EXPECT_EQ(MeterPicture(0.0).LitRows(), Rows(0, 175));
  EXPECT_EQ(MeterPicture(-108.0).LitRows(), Rows(170, 175));
  EXPECT_EQ(MeterPicture(-108.1).LitRows(), Rows(0, 0));
  EXPECT_EQ(MeterPicture(-12.0).LitRows(), Rows(60, 175));
  // Between two thresholds the lower one counts.
  EXPECT_EQ(MeterPicture(-22.0).LitRows(), Rows(22 * 5, 175));
  // The start-up level, -30 dB.
  EXPECT_EQ(MeterPicture(-30.0).LitRows(), Rows(24 * 5, 175));
}

TEST(SegmentMeter, PeakLightsOneSegmentWhateverTheLevel) {
  EXPECT_EQ(MeterPicture(-200.0, -3.0).LitRows(), Rows(15, 20));
  std::vector<int> both = Rows(15, 20);
  for (int row : Rows(100, 175)) both.push_back(row);
  EXPECT_EQ(MeterPicture(-20.0, -3.0).LitRows(), both);
  // A peak within the bar, or on its top segment, adds nothing to it.
  EXPECT_EQ(MeterPicture(-3.0, -12.0).LitRows(), Rows(15, 175));
  EXPECT_EQ(MeterPicture(-3.0, -3.0).LitRows(), Rows(15, 175));
  // No peak segment below the lowest threshold, for the start value or the PPM mode's floor.
  EXPECT_EQ(MeterPicture(-200.0, -188.0).LitRows(), Rows(0, 0));
  EXPECT_EQ(MeterPicture(-200.0, -500.0).LitRows(), Rows(0, 0));
}

TEST(SegmentMeter, DrawsOnlyInsideItsRectangle) {
  MeterPicture picture(-0.5, -0.5);
  for (int y = 0; y < 185; ++y) {
    for (int x = 0; x < 15; ++x) {
      const bool inside = x >= 3 && x < 12 && y >= 4 && y < 4 + 176;
      if (!inside) {
        ASSERT_TRUE(IsColour(picture.image, x, y, *wxBLUE)) << x << "," << y;
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);
  return RUN_ALL_TESTS();
}
