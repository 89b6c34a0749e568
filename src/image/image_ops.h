// Whole-image operations on image records (image_record.h).
//
// FillImage stores one WorkingPixel into every position of a rectangle, row by row from the top,
// left to right, through the image's store. Values of kLeaveUnchanged leave those samples as
// they are. Positions outside the data rectangle are skipped, for fast images too.
//
// LinearizeImage converts an 8-bit or 16-bit image encoded with gamma 2.2 to linear light in
// place: colour samples go through the encode tables of the gamma 1/2.2 set, which raise them to
// the power 2.2 (an 8-bit v becomes round((256 v / 65 535)^2.2 * 255), so 255 becomes 253; a
// 16-bit v becomes round((v / 65 535)^2.2 * 65 535)). Alpha and mask stay. Other pixel types are
// reported ("Pixel type 0x%X is not recognized in function LinearizeImage.") and left as they
// are. In every case the image is then marked linear: gamma 1.0 and the tables of gamma 1.0.
//
// Threading contract: an operation works on one image; it must not overlap other writes to the
// same pixels or any change of the record.
#pragma once

#include "image/image_record.h"

namespace lumeray {

void FillImage(ImageRecord* image, const WorkingPixel& pixel, const ImageRect& rect);

// True when the samples were converted and the image now carries the gamma 1.0 tables.
bool LinearizeImage(ImageRecord* image);

}  // namespace lumeray
