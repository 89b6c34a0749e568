// The preview's view model: zoom (percent), the scroll position in view pixels (the view's top
// left corner in the zoomed image), the preview's client rectangle, and the geometry every frame
// derives from them.
//
//   scaled image size    each edge of the image rectangle divided by 100 / percent, plus 1e-10,
//                        truncated; equal ends are moved one apart
//   display rectangle    the client rectangle shrunk by 1 on every side; a scaled image narrower
//                        (lower) than that is centred at offset floor((shrunk - image) / 2) + 1;
//                        the image rectangle at that offset, clipped to the client
//   visible image area   the part of the image (image pixels) the display rectangle shows
//
// Zoom steps: the fixed list of kZoomSteps, from kLeastZoom to kMostZoom. Stepping in n steps
// goes from the first step above the zoom n - 1 further; stepping out from the step below the
// zoom (the last step at or below it when the zoom lies on one) n - 1 further; both stop at the
// ends of the list. Centre: a zoom change keeps the image point at the client's centre there when
// it can; scroll positions are clamped so that the view never leaves the scaled image.
//
// Threading contract: plain values and pure functions; any thread.
#pragma once

#include <cstdint>
#include <iterator>

#include "image/image_record.h"

namespace lumeray {

inline constexpr double kZoomSteps[] = {0.3,   0.5,   1.0,   2.5,   6.25,   12.5,   25.0,
                                        33.33, 50.0,  66.67, 100.0, 200.0,  300.0,  400.0,
                                        600.0, 800.0, 1000., 1200., 1600.0, 3200.0, 6400.0};
inline constexpr double kLeastZoom = kZoomSteps[0];
inline constexpr double kMostZoom = kZoomSteps[std::size(kZoomSteps) - 1];

struct PreviewView {
  double zoom = 100.0;  // percent
  int32_t scrollX = 0;  // view pixels
  int32_t scrollY = 0;
  ImageRect client{};  // the preview control's client rectangle
  ImageRect image{};   // the host image's rectangle (bounds)
};

ImageRect GetScaledImageRectangle(const ImageRect& image, double zoom);
ImageRect GetProxyDisplayRectangle(const ImageRect& client, const ImageRect& image, double zoom);
// The image pixels the display rectangle shows (right, bottom exclusive, rounded outwards).
ImageRect VisibleImageArea(const PreviewView& view);

double NextZoomIn(double zoom, int steps = 1);
double NextZoomOut(double zoom, int steps = 1);
// Clamps the scroll so that the view stays inside the scaled image.
void ClampScroll(PreviewView* view);
// Sets the zoom keeping the image point under (cx, cy) of the client in place.
void ZoomAround(PreviewView* view, double zoom, int32_t cx, int32_t cy);
// Centres the view on the image point (x, y).
void CenterOn(PreviewView* view, double x, double y);

}  // namespace lumeray
