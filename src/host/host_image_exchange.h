// Moving pixels between the host and the module: ReadHostImage pulls the whole filter rectangle
// from the host, tile by tile and plane by plane, into the InputImage (with the host's selection
// mask); WriteResultsToHost pushes its colour planes back in 2048 x 2048 tiles with progress and
// cancel; EndHostImageExchange makes the last request and frees the image.
//
// Conventions
//  * Every advanceState call carries exactly one request among input, output and mask, except
//    the first plane of a masked tile, which asks for input and mask together. 32-bit request
//    rectangles are used whenever the host offers them.
//  * The host's 16-bit samples run 0..32768. Reading maps v < 32768 to v * 65535 >> 15 and
//    32768 to 65535; writing maps a working sample s to round(s * 32768 / 65535), the exact
//    inverse, so a sample read and written back unchanged comes back as it was sent.
//  * 8-bit RGB images keep B, G, R, A in memory: host channel 0 is sample 2 and channel 2 is
//    sample 0.
//  * The write-back gives the host its own sample back wherever the render did not change it:
//    8-bit, 16-bit and float samples come back bit for bit (the 16-bit mapping is exact both
//    ways), and a negative float sample, which the read makes 0 (black) for the render, is
//    left as the host has it in outData (the host's current image) while the image still
//    holds 0 there.
//  * Hosts without big-document support get their 16-bit request rectangles; the 32-bit ones
//    are only touched when the module uses them.
//
// Threading contract: UI thread only (the host's procedures may only be called there). The plane
// copies split a large rectangle's rows among worker threads of their own and return when all
// are done.
#pragma once

#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

// Write-back tiles.
inline constexpr int32_t kWriteBackTileSize = 2048;
// Read tiles when the host names none.
inline constexpr int32_t kDefaultReadTileSize = 1024;

// The host's 16-bit scale.
inline constexpr uint32_t kHostSixteenBitMaximum = 32768;
uint16_t HostSampleToWorking16(uint16_t hostSample);
uint16_t Working16ToHostSample(uint16_t workingSample);

// Copies one plane of host samples (rows `rowBytes` apart) into `channel` of the image for the
// part of `rect` inside the image's data; `bytesPerSample` is 1, 2 (host scale) or 4. A negative
// float colour sample becomes 0 (black, for the render); float alpha is copied as it is.
void CopyPlaneIntoImage(ImageRecord* image, const void* plane, int channel, const ImageRect& rect,
                        int32_t rowBytes, int bytesPerSample);
// The opposite: one channel of the image into a host plane.
void CopyImageIntoPlane(const ImageRecord& image, void* plane, int channel, const ImageRect& rect,
                        int32_t rowBytes, int bytesPerSample);

}  // namespace lumeray
