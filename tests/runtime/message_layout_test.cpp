#include "runtime/dialog/message_layout.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(MessagePlacement, CentresOnTheMainFrameOrTheOwnersPartOfTheWorkArea) {
  const PixelRect work{0, 0, 1000, 700};
  const PixelSize size{200, 100};
  const PixelRect main{100, 100, 400, 300};
  EXPECT_EQ(PlaceMessageDialog(size, work, &main, nullptr), (PixelRect{200, 200, 200, 100}));
  // An owner half off the screen: centred on the part inside the work area.
  const PixelRect owner{800, 600, 400, 300};
  EXPECT_EQ(PlaceMessageDialog(size, work, nullptr, &owner), (PixelRect{800, 600, 200, 100}));
  // A main frame near the edge: pushed back inside.
  const PixelRect edge{900, 650, 100, 50};
  EXPECT_EQ(PlaceMessageDialog(size, work, &edge, nullptr), (PixelRect{800, 600, 200, 100}));
  EXPECT_EQ(PlaceMessageDialog(size, work, nullptr, nullptr), (PixelRect{400, 300, 200, 100}));
}

}  // namespace
}  // namespace vantrel
