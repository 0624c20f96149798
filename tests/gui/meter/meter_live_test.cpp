// Vexameter itself against a simulated card playing steady tones: the panel on the screen
// shows the levels, and the level read-out fills in. Screenshots come from the X server.
#include <card_fixture.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

// The root window as a plain RGB picture (a binary PPM written by ImageMagick).
class Shot {
public:
  explicit Shot(const std::string& file) {
    const std::string command = "import -silent -window root -depth 8 ppm:" + file;
    if (system(command.c_str()) != 0) return;
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    if (magic != "P6" || max != 255) return;
    pixels.resize(size_t(width) * height * 3);
    in.read(reinterpret_cast<char*>(pixels.data()), pixels.size());
    if (!in) pixels.clear();
  }
  bool ok() const { return !pixels.empty(); }
  Rgb at(int x, int y) const {
    const size_t i = (size_t(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
  }
  // The panel's top left corner: the first pixel in the panel's colour.
  bool FindPanel(int* x, int* y) const {
    for (int row = 0; row < height; ++row)
      for (int col = 0; col < width; ++col)
        if (at(col, row) == Rgb{41, 0, 189}) {
          *x = col;
          *y = row;
          return true;
        }
    return false;
  }
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
};

TEST(VexameterLive, ShowsTheCardsLevelsAndReadouts) {
  char pattern[] = "/tmp/vexameter-live-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

  // Input 0 at -9 dBFS, input 1 at -14 dBFS; the meter shows inputs 0 and 1 in Normal routing.
  vexa::testing::CardDaemon card({"--rate", "48000", "--rt-priority", "0", "--signal",
                                  "0=sine:1000:-9", "--signal", "1=sine:1000:-14"});
  ASSERT_TRUE(card.started()) << card.error();
  vexa::testing::BackgroundProgram meter({vexa::testing::binPath("Vexameter")});

  // Waits (generously) for the level read-out to be written: dark text in its half of the box.
  int px = 0, py = 0;
  bool found = false, readout = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::unique_ptr<Shot> shot;
  while (std::chrono::steady_clock::now() < end && !readout) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    shot.reset(new Shot(folder + "/root.ppm"));
    ASSERT_TRUE(shot->ok()) << "no screenshot";
    found = shot->FindPanel(&px, &py);
    if (!found) continue;
    for (int y = 232; y < 249 && !readout; ++y)
      for (int x = 155; x < 216 && !readout; ++x) {
        const Rgb c = shot->at(px + x, py + y);
        readout = c.r < 100 && c.g < 100 && c.b < 100;
      }
  }
  ASSERT_TRUE(found) << "the window never showed";
  ASSERT_TRUE(readout) << "the level read-out stayed empty";

  // A cell's middle pixel: lit green is bright, unlit green and red are dark.
  auto cell = [&](int meterX, int index) { return shot->at(px + meterX + 4, py + 23 + index * 5 + 1); };
  const int left = 159, right = 200;
  // A new meter starts at full scale and holds that peak for 3 s of samples; then it shows
  // the tones. The top cells going dark marks that.
  const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    shot.reset(new Shot(folder + "/root.ppm"));
    ASSERT_TRUE(shot->ok() && shot->FindPanel(&px, &py));
  } while ((cell(left, 0).r > 200 || cell(right, 6).g > 200) &&
           std::chrono::steady_clock::now() < settled);
  EXPECT_GT(cell(left, 20).g, 200) << "-20 dB cell of the left meter is not lit";
  EXPECT_GT(cell(right, 20).g, 200);
  EXPECT_LT(cell(left, 0).r, 200) << "-0.5 dB cell lit for a -9 dBFS tone";
  EXPECT_LT(cell(left, 1).r, 200);
  EXPECT_LT(cell(right, 6).g, 200) << "-6 dB cell lit for a -14 dBFS tone";
  // The -9 dB tone reaches the -12 dB cell, the -14 dB tone does not.
  EXPECT_GT(cell(left, 12).g, 200);
  EXPECT_LT(cell(right, 12).g, 200);

  meter.kill(15);
  meter.finish(20000);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
