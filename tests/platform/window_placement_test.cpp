// Where the spectrum window goes beside the picture window, on screens of several sizes.
#include "platform/window_placement.h"

#include <gtest/gtest.h>

namespace {

struct PlacementCase {
  const char *name;
  ScreenRect picture;
  int width, height;  // the spectrum window's outer size
  int screenWidth, screenHeight;
  int x, y;  // where it goes
};

TEST(WindowPlacement, BesideBelowOrWholeOnTheScreen) {
  const PlacementCase cases[] = {
      {"right of the picture", {0, 0, 300, 200}, 256, 128, 1024, 768, 300, 0},
      {"right of a moved picture", {40, 30, 340, 230}, 256, 128, 1024, 768, 340, 30},
      {"exactly fills the width", {0, 0, 768, 200}, 256, 128, 1024, 768, 768, 0},
      {"below when only that fits", {0, 0, 600, 300}, 512, 256, 1024, 768, 0, 300},
      // Neither fits: moved left onto the screen, over the picture, not off it.
      {"1600x900 on 1920x1080", {0, 0, 1600, 900}, 1024, 512, 1920, 1080, 896, 0},
      {"2048x1536 on 1920x1080", {0, 0, 2048, 1536}, 1024, 1024, 1920, 1080, 896, 0},
      {"larger than the screen", {0, 0, 1024, 1024}, 1024, 1024, 1024, 768, 0, 0},
  };
  for (const PlacementCase &c : cases) {
    SCOPED_TRACE(c.name);
    int x = -1, y = -1;
    placeBeside(c.picture, c.width, c.height, c.screenWidth, c.screenHeight, &x, &y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
  }
}

}  // namespace
