#include "drawable_exchange.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "icc_profile.h"

namespace lumeray::gimp_bridge {
namespace {

// The exchange format for the drawable's format and the sample type it carries.
const Babl* ExchangeFormat(const Babl* drawableFormat, SampleType* sampleType) {
  const std::string type = babl_get_name(babl_format_get_type(drawableFormat, 0));
  if (type == "u8") {
    *sampleType = SampleType::kUInt8;
    return drawableFormat;
  }
  if (type == "u16") {
    *sampleType = SampleType::kUInt16;
    return drawableFormat;
  }
  *sampleType = SampleType::kFloat32;
  if (type == "float") return drawableFormat;
  // Same components and space, float samples: "R'G'B'A half" becomes "R'G'B'A float".
  std::string encoding = babl_format_get_encoding(drawableFormat);
  encoding = encoding.substr(0, encoding.rfind(' ')) + " float";
  return babl_format_with_space(encoding.c_str(), babl_format_get_space(drawableFormat));
}

bool ReadProfile(gint32 image, int colourPlanes, std::vector<uint8_t>* bytes, std::string* error) {
  GimpColorProfile* profile = gimp_image_get_effective_color_profile(image);
  if (profile == nullptr) return true;
  gsize length = 0;
  const guint8* data = gimp_color_profile_get_icc_profile(profile, &length);
  if (data != nullptr) bytes->assign(data, data + length);
  g_object_unref(profile);
  if (!bytes->empty() && !CheckIccProfile(*bytes, colourPlanes, error)) {
    *error = "the image's colour profile cannot be used: " + *error;
    return false;
  }
  return true;
}

bool ReadSelection(gint32 image, gint32 drawable, const DrawableRegion& region, GreyMask* mask) {
  gint offsetX = 0;
  gint offsetY = 0;
  gimp_drawable_offsets(drawable, &offsetX, &offsetY);
  GeglBuffer* selection = gimp_drawable_get_buffer(gimp_image_get_selection(image));
  if (selection == nullptr) return false;
  mask->width = region.width;
  mask->height = region.height;
  mask->values.assign(static_cast<size_t>(region.width) * static_cast<size_t>(region.height), 0);
  const GeglRectangle rect{region.x + offsetX, region.y + offsetY, region.width, region.height};
  gegl_buffer_get(selection, &rect, 1.0, babl_format("Y u8"), mask->values.data(),
                  GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
  g_object_unref(selection);
  return true;
}

}  // namespace

bool ReadDrawable(gint32 image, gint32 drawable, DrawableRegion* region, HostImage* pixels,
                  GreyMask* mask, bool* masked, std::string* error) {
  *masked = false;
  region->drawable = drawable;
  if (!gimp_drawable_mask_intersect(drawable, &region->x, &region->y, &region->width,
                                    &region->height)) {
    region->width = 0;
    region->height = 0;
    return true;
  }
  if (gimp_item_is_group(drawable)) {
    *error = "a layer group cannot be filtered: choose one of its layers";
    return false;
  }
  if (gimp_item_get_lock_content(drawable)) {
    *error = "the layer's pixels are locked";
    return false;
  }
  if (gimp_drawable_is_indexed(drawable)) {
    *error = "indexed images cannot be filtered: change the mode to RGB first (Image > Mode > RGB)";
    return false;
  }
  const Babl* drawableFormat = gimp_drawable_get_format(drawable);
  if (drawableFormat == nullptr) {
    *error = "the drawable's pixel format is unknown";
    return false;
  }
  const int components = babl_format_get_n_components(drawableFormat);
  const bool hasAlpha = babl_format_has_alpha(drawableFormat) != 0;
  const int colourPlanes = components - (hasAlpha ? 1 : 0);
  if (colourPlanes != 1 && colourPlanes != 3) {
    *error = "only RGB and greyscale drawables can be filtered";
    return false;
  }
  SampleType sampleType = SampleType::kUInt8;
  region->format = ExchangeFormat(drawableFormat, &sampleType);
  try {
    *pixels = HostImage::Create(region->width, region->height, colourPlanes, hasAlpha, sampleType);
  } catch (const std::exception&) {
    *error = "not enough memory for the drawable's pixels";
    return false;
  }
  if (!ReadProfile(image, colourPlanes, &pixels->iccProfile, error)) return false;

  GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
  if (buffer == nullptr) {
    *error = "the drawable's pixels cannot be read";
    return false;
  }
  const GeglRectangle rect{region->x, region->y, region->width, region->height};
  gegl_buffer_get(buffer, &rect, 1.0, region->format, pixels->pixels.data(), GEGL_AUTO_ROWSTRIDE,
                  GEGL_ABYSS_NONE);
  g_object_unref(buffer);

  if (!gimp_selection_is_empty(image)) {
    try {
      *masked = ReadSelection(image, drawable, *region, mask);
    } catch (const std::bad_alloc&) {
      *error = "not enough memory for the selection";
      return false;
    }
    if (!*masked) {
      *error = "the selection cannot be read";
      return false;
    }
  }
  return true;
}

bool WriteDrawable(const DrawableRegion& region, const HostImage& pixels, std::string* error) {
  GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(region.drawable);
  if (shadow == nullptr) {
    *error = "GIMP gave no buffer for the result";
    return false;
  }
  const GeglRectangle rect{region.x, region.y, region.width, region.height};
  gegl_buffer_set(shadow, &rect, 0, region.format, pixels.pixels.data(), GEGL_AUTO_ROWSTRIDE);
  gegl_buffer_flush(shadow);
  g_object_unref(shadow);
  if (!gimp_drawable_merge_shadow(region.drawable, TRUE)) {
    *error = "GIMP did not take the result into the drawable";
    return false;
  }
  gimp_drawable_update(region.drawable, region.x, region.y, region.width, region.height);
  return true;
}

}  // namespace lumeray::gimp_bridge
