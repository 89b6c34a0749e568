// Shared helpers of the shape, blend and detection tests: images made for measuring (16-bit
// analysis images and working-RGB targets), a capture of the module's reports, and the
// measuring shapes of one radius.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analysis_image.h"
#include "analysis/effect_shape.h"
#include "analysis/shape_builders.h"
#include "diagnostics/debug_log.h"
#include "diagnostics/log_queue.h"
#include "image/image_create.h"
#include "image/image_record.h"

namespace lumeray::testing {

// Collects the reports logged while it lives (the log queue is kept in memory).
class ReportCapture {
 public:
  ReportCapture() {
    LogQueue::Instance().Clear();
    OpenDebugLogQueue("LumerayPro2");
  }
  ~ReportCapture() {
    LogQueue& queue = LogQueue::Instance();
    queue.Close(MakeLogQueueEntry(kLogLevelNormal, "closed"));
    queue.LeaveMode();
    queue.Clear();
  }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  // Everything logged so far.
  const std::string& Text() {
    LogQueue& queue = LogQueue::Instance();
    queue.EnterThreadedMode(this, nullptr);
    std::unique_ptr<LogQueueEntry> entry;
    while (queue.TakeFirst(this, &entry) == TakeOutcome::kEntry) {
      for (char16_t unit : entry->text)
        text_.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    queue.DetachWriter(this);
    queue.LeaveMode();
    return text_;
  }
  bool Has(const std::string& text) { return Text().find(text) != std::string::npos; }
  size_t Count(const std::string& text) {
    const std::string& all = Text();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
  }

 private:
  std::string text_;
};

// A created image released with the object.
class TestImage {
 public:
  TestImage(int32_t mode, const ImageRect& rect, bool withMask, ProfileHandle profile = nullptr) {
    int result = 0;
    const bool created = CreateImage(&image_, rect, rect, mode, profile, withMask, true, &result);
    EXPECT_TRUE(created);
    EXPECT_EQ(result, 0);
  }
  ~TestImage() { ReleaseImage(&image_); }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  ImageRecord* get() { return &image_; }
  const ImageRecord& operator*() const { return image_; }
  void Set(int32_t x, int32_t y, const WorkingPixel& p) { image_.store(&image_, &p, x, y); }
  WorkingPixel Get(int32_t x, int32_t y) const {
    WorkingPixel p;
    image_.fetch(&image_, &p, x, y);
    return p;
  }
  void Fill(const WorkingPixel& p) {
    for (int32_t y = image_.dataRect.top; y < image_.dataRect.bottom; ++y) {
      for (int32_t x = image_.dataRect.left; x < image_.dataRect.right; ++x) Set(x, y, p);
    }
  }

 private:
  ImageRecord image_;
};

inline WorkingPixel Grey(uint32_t level, uint32_t alpha = 0xFFFFFFFEu,
                         uint32_t mask = 0xFFFFFFFEu) {
  return {level, level, level, alpha, mask};
}

// A disk and a ring shape of one radius, released with the object.
struct MeasuringPair {
  explicit MeasuringPair(float r) : radius(r) {
    disk.builder = BuildDiskSubShape;
    disk.parameters = &radius;
    ring.builder = BuildRingSubShape;
    ring.parameters = &radius;
  }
  ~MeasuringPair() {
    ReleaseEffectShape(&disk);
    ReleaseEffectShape(&ring);
  }
  MeasuringPair(const MeasuringPair&) = delete;
  MeasuringPair& operator=(const MeasuringPair&) = delete;
  float radius;
  EffectShape disk;
  EffectShape ring;
};

// The bytes the first growth of a measuring sub-shape of radius r asks for.
inline uint64_t DiskFirstBlockBytes(float r) {
  const double radius = r;
  return static_cast<uint64_t>((radius + 1.0) * (radius + 1.0) * 3.14159265358979323846 + 4.0) *
         sizeof(SubShapeEntry);
}
inline uint64_t RingFirstBlockBytes(float r) {
  return static_cast<uint64_t>(3.14159265358979323846 * 2.0 * double{r} * 3.0 + 4.0) *
         sizeof(SubShapeEntry);
}

}  // namespace lumeray::testing
