// The preview's view geometry.
#include "preview/view_model.h"

#include <gtest/gtest.h>

namespace lumeray {
namespace {

bool Same(const ImageRect& a, const ImageRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(ProxyDisplayRectangle, SmallImagesAreCentredLargeOnesFillTheInside) {
  struct Case {
    ImageRect client, image;
    double zoom;
    ImageRect display;
  };
  const Case cases[] = {
      // 1000 x 800 at 50 % is 500 x 400; the inside is 1198 x 898: (1198 - 500) / 2 + 1 = 350.
      {{0, 0, 1200, 900}, {0, 0, 1000, 800}, 50, {350, 250, 850, 650}},
      // Larger than the inside: clipped to it, from its corner.
      {{0, 0, 1200, 900}, {0, 0, 1000, 800}, 200, {1, 1, 1199, 899}},
      // A 3-pixel image at 1 %: equal ends are moved one apart.
      {{0, 0, 102, 102}, {0, 0, 3, 3}, 1, {50, 50, 51, 51}},
  };
  for (const Case& c : cases) {
    const ImageRect d = GetProxyDisplayRectangle(c.client, c.image, c.zoom);
    EXPECT_TRUE(Same(d, c.display))
        << c.zoom << ": " << d.left << "," << d.top << "," << d.right << "," << d.bottom;
  }
}

TEST(PreviewView, ZoomStepsAndZoomAroundAPointKeepThatPoint) {
  const struct {
    double from;
    int steps;
    double in, out;
  } steps[] = {{100, 1, 200, 66.67},  {150, 1, 200, 100}, {70, 1, 100, 66.67},
               {100, 3, 400, 33.33},  {0.3, 1, 0.5, 0.3}, {6400, 1, 6400, 3200},
               {9000, 1, 6400, 6400}, {0.1, 2, 0.5, 0.3}, {100, 40, 6400, 0.3}};
  for (const auto& s : steps) {
    EXPECT_EQ(NextZoomIn(s.from, s.steps), s.in) << s.from << " x" << s.steps;
    EXPECT_EQ(NextZoomOut(s.from, s.steps), s.out) << s.from << " x" << s.steps;
  }

  PreviewView view;
  view.client = {0, 0, 402, 302};
  view.image = {0, 0, 2000, 1500};
  view.zoom = 100;
  CenterOn(&view, 1000, 750);
  // The image point under the client's centre stays there through a zoom in.
  ZoomAround(&view, 200, 201, 151);
  const ImageRect visible = VisibleImageArea(view);
  EXPECT_NEAR((visible.left + visible.right) / 2.0, 1000, 1);
  EXPECT_NEAR((visible.top + visible.bottom) / 2.0, 750, 1);
  // Scrolling never leaves the image.
  view.scrollX = -50;
  view.scrollY = 1 << 20;
  ClampScroll(&view);
  EXPECT_EQ(view.scrollX, 0);
  EXPECT_EQ(view.scrollY, 3000 - 300);
}

}  // namespace
}  // namespace lumeray
