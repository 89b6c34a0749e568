#include "preview/view_model.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace lumeray {
namespace {

constexpr double kEdgeEpsilon = 1e-10;

int32_t ScaledEdge(int32_t edge, double zoom) {
  return static_cast<int32_t>(edge / (100.0 / zoom) + (edge < 0 ? -kEdgeEpsilon : kEdgeEpsilon));
}

ImageRect Shrunk(const ImageRect& r) {
  return {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
}

}  // namespace

ImageRect GetScaledImageRectangle(const ImageRect& image, double zoom) {
  ImageRect r{ScaledEdge(image.left, zoom), ScaledEdge(image.top, zoom),
              ScaledEdge(image.right, zoom), ScaledEdge(image.bottom, zoom)};
  if (r.right == r.left) ++r.right;
  if (r.bottom == r.top) ++r.bottom;
  return r;
}

ImageRect GetProxyDisplayRectangle(const ImageRect& client, const ImageRect& image, double zoom) {
  const ImageRect inner = Shrunk(client);
  const ImageRect scaled = GetScaledImageRectangle(image, zoom);
  const int32_t width = scaled.right - scaled.left, height = scaled.bottom - scaled.top;
  const int32_t innerWidth = inner.right - inner.left, innerHeight = inner.bottom - inner.top;
  const int32_t x = width < innerWidth ? client.left + (innerWidth - width) / 2 + 1 : inner.left;
  const int32_t y = height < innerHeight ? client.top + (innerHeight - height) / 2 + 1 : inner.top;
  return {std::max(x, inner.left), std::max(y, inner.top), std::min(x + width, inner.right),
          std::min(y + height, inner.bottom)};
}

ImageRect VisibleImageArea(const PreviewView& view) {
  const ImageRect d = GetProxyDisplayRectangle(view.client, view.image, view.zoom);
  const double z = view.zoom / 100.0;
  return {static_cast<int32_t>(std::floor(view.scrollX / z)),
          static_cast<int32_t>(std::floor(view.scrollY / z)),
          static_cast<int32_t>(std::ceil((view.scrollX + d.right - d.left) / z)),
          static_cast<int32_t>(std::ceil((view.scrollY + d.bottom - d.top) / z))};
}

double NextZoomIn(double zoom, int steps) {
  constexpr int last = static_cast<int>(std::size(kZoomSteps)) - 1;
  int i = 0;
  while (i < last && kZoomSteps[i] <= zoom) ++i;
  return kZoomSteps[std::min(i + steps - 1, last)];
}

double NextZoomOut(double zoom, int steps) {
  constexpr int last = static_cast<int>(std::size(kZoomSteps)) - 1;
  // j: kZoomSteps[j] < zoom <= kZoomSteps[j + 1]; 0 at or below the second step.
  int j = 0;
  if (zoom > kZoomSteps[last]) {
    j = last;
  } else {
    while (j + 1 < last && kZoomSteps[j + 1] < zoom) ++j;
  }
  return kZoomSteps[std::max(j + 1 - steps, 0)];
}

void ClampScroll(PreviewView* view) {
  const ImageRect scaled = GetScaledImageRectangle(view->image, view->zoom);
  const ImageRect d = GetProxyDisplayRectangle(view->client, view->image, view->zoom);
  const int32_t maxX = std::max(0, (scaled.right - scaled.left) - (d.right - d.left));
  const int32_t maxY = std::max(0, (scaled.bottom - scaled.top) - (d.bottom - d.top));
  view->scrollX = std::clamp(view->scrollX, 0, maxX);
  view->scrollY = std::clamp(view->scrollY, 0, maxY);
}

void ZoomAround(PreviewView* view, double zoom, int32_t cx, int32_t cy) {
  const ImageRect d = GetProxyDisplayRectangle(view->client, view->image, view->zoom);
  const double z = view->zoom / 100.0;
  const double x = (view->scrollX + cx - d.left) / z, y = (view->scrollY + cy - d.top) / z;
  view->zoom = zoom;
  const ImageRect nd = GetProxyDisplayRectangle(view->client, view->image, zoom);
  view->scrollX = static_cast<int32_t>(std::lround(x * zoom / 100.0 - (cx - nd.left)));
  view->scrollY = static_cast<int32_t>(std::lround(y * zoom / 100.0 - (cy - nd.top)));
  ClampScroll(view);
}

void CenterOn(PreviewView* view, double x, double y) {
  const ImageRect d = GetProxyDisplayRectangle(view->client, view->image, view->zoom);
  const double z = view->zoom / 100.0;
  view->scrollX = static_cast<int32_t>(std::lround(x * z - (d.right - d.left) / 2.0));
  view->scrollY = static_cast<int32_t>(std::lround(y * z - (d.bottom - d.top) / 2.0));
  ClampScroll(view);
}

}  // namespace lumeray
