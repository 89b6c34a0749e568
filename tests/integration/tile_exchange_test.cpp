// The host's side of advanceState, driven the way a module drives it, without a module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "samples.h"
#include "support/test_images.h"
#include "tile_exchange.h"

namespace lumeray {
namespace {

using testing::PatternImage;

uint16_t Sample16(const HostImage& image, int x, int y, int plane) {
  uint16_t value = 0;
  std::memcpy(&value, image.Pixel(x, y) + plane * 2, 2);
  return value;
}

uint16_t Buffer16(const void* data, int32_t rowBytes, int x, int y, int planes, int plane) {
  uint16_t value = 0;
  std::memcpy(&value, static_cast<const uint8_t*>(data) + y * rowBytes + (x * planes + plane) * 2,
              2);
  return value;
}

// No request yet, in 32-bit coordinates, as the module asks.
BigDocumentStruct Requests32() {
  BigDocumentStruct big{};
  big.PluginUsing32BitCoordinates = 1;
  return big;
}

class Exchange : public ::testing::Test {
 protected:
  void Attach(HostImage* image, const GreyMask* mask = nullptr, ExchangeFaults faults = {}) {
    record_ = FilterRecord{};
    big_ = Requests32();
    record_.bigDocumentData = &big_;
    record_.haveMask = mask != nullptr;
    record_.inputRate = record_.maskRate = kUnitRate;
    exchange_ = std::make_unique<TileExchange>(&record_, image, mask, faults);
  }
  void AskInput(VRect rect, int16_t lo, int16_t hi) {
    big_ = Requests32();
    big_.inRect32 = rect;
    record_.inLoPlane = lo;
    record_.inHiPlane = hi;
  }
  void AskOutput(VRect rect, int16_t lo, int16_t hi) {
    big_ = Requests32();
    big_.outRect32 = rect;
    record_.outLoPlane = lo;
    record_.outHiPlane = hi;
  }

  FilterRecord record_{};
  BigDocumentStruct big_{};
  std::unique_ptr<TileExchange> exchange_;
};

TEST(Samples16, EveryHostValueSurvivesTheTripAndBothDirectionsRoundToNearest) {
  for (uint32_t h = 0; h <= kHostMax16; ++h) {
    ASSERT_EQ(FileToHost16(HostToFile16(static_cast<uint16_t>(h))), h);
    ASSERT_EQ(HostToFile16(static_cast<uint16_t>(h)),
              static_cast<uint16_t>(std::floor(h * 65535.0 / 32768.0 + 0.5)));
  }
  for (uint32_t v = 0; v <= kFileMax16; ++v) {
    ASSERT_EQ(FileToHost16(static_cast<uint16_t>(v)), std::lround(v * 32768.0 / 65535.0)) << v;
  }
  EXPECT_EQ(HostToFile16(40000), 65535);  // above the host's white
  EXPECT_EQ(FileToHost16(65535), 32768);
}

TEST_F(Exchange, ServesTheRequestedPlanesInterleavedOnTheHostScale) {
  HostImage image = PatternImage(5, 4, 3, true, SampleType::kUInt16);
  Attach(&image);
  // G, B, alpha; all four planes; B and alpha.
  for (const auto& [lo, hi] : {std::pair{1, 3}, std::pair{0, 3}, std::pair{2, 3}}) {
    const int count = hi - lo + 1;
    AskInput(VRect{1, 1, 3, 4}, static_cast<int16_t>(lo), static_cast<int16_t>(hi));  // 3 × 2
    ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
    ASSERT_NE(record_.inData, nullptr);
    EXPECT_EQ(record_.inRowBytes, 3 * count * 2);
    EXPECT_EQ(record_.outData, nullptr);
    EXPECT_EQ(record_.maskData, nullptr);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        for (int p = 0; p < count; ++p) {
          EXPECT_EQ(Buffer16(record_.inData, record_.inRowBytes, x, y, count, p),
                    FileToHost16(Sample16(image, 1 + x, 1 + y, lo + p)))
              << lo << ".." << hi;
        }
      }
    }
  }
}

TEST_F(Exchange, ReadsThe16BitRectanglesUntilTheModuleAsksFor32BitOnes) {
  HostImage image = PatternImage(6, 6, 1, false, SampleType::kUInt8);
  Attach(&image);
  big_.PluginUsing32BitCoordinates = 0;
  big_.inRect32 = VRect{0, 0, 6, 6};
  record_.inRect = PIRect16{2, 2, 3, 4};
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  EXPECT_EQ(record_.inRowBytes, 2);
  EXPECT_EQ(static_cast<uint8_t*>(record_.inData)[0], image.Pixel(2, 2)[0]);
}

TEST_F(Exchange, CommitsOutputAtTheNextCallAndKeepsUntouched16BitSamples) {
  HostImage image = PatternImage(4, 3, 3, false, SampleType::kUInt16);
  // 32767 and 32768 both go out as 16384; handed back unchanged they must stay as they were.
  std::memcpy(image.Pixel(0, 0), "\xFF\x7F\x00\x80", 4);
  const HostImage original = image;
  Attach(&image);
  AskOutput(VRect{0, 0, 3, 4}, 0, 2);
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  ASSERT_EQ(record_.outRowBytes, 4 * 3 * 2);
  const uint16_t changed = 1000;
  std::memcpy(static_cast<uint8_t*>(record_.outData) + record_.outRowBytes + 2 * 3 * 2 + 2,
              &changed, 2);  // pixel (2, 1), plane 1
  EXPECT_EQ(image.pixels, original.pixels) << "nothing is committed before the next call";

  big_ = Requests32();
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  EXPECT_EQ(Sample16(image, 2, 1, 1), HostToFile16(changed));
  std::memcpy(image.Pixel(2, 1) + 2, original.Pixel(2, 1) + 2, 2);
  EXPECT_EQ(image.pixels, original.pixels) << "every other sample stays bit-identical";
}

TEST_F(Exchange, PadsInputOutsideTheImageAsTheModuleAsksAndDropsOutputThere) {
  HostImage image = PatternImage(3, 2, 1, false, SampleType::kUInt8);
  Attach(&image);
  const VRect beyond{-1, -1, 3, 4};  // one pixel around the image on the top, left and bottom
  AskInput(beyond, 0, 0);
  record_.inputPadding = 255;
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  auto* in = static_cast<uint8_t*>(record_.inData);
  EXPECT_EQ(in[0], 255);
  EXPECT_EQ(in[record_.inRowBytes + 1], image.Pixel(0, 0)[0]);
  EXPECT_EQ(in[3 * record_.inRowBytes + 3], 255);

  record_.inputPadding = kPaddingEdgeReplicate;
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  in = static_cast<uint8_t*>(record_.inData);
  EXPECT_EQ(in[0], image.Pixel(0, 0)[0]);
  EXPECT_EQ(in[3 * record_.inRowBytes + 3], image.Pixel(2, 1)[0]);

  record_.inputPadding = kPaddingError;
  EXPECT_EQ(exchange_->AdvanceState(), kParamErr);
  EXPECT_EQ(record_.inData, nullptr);

  const HostImage before = image;
  AskOutput(beyond, 0, 0);
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  std::memset(record_.outData, 7, static_cast<size_t>(record_.outRowBytes) * 4);
  ASSERT_EQ(exchange_->CommitOutput(), kNoErr);
  EXPECT_EQ(image.pixels, PixelBuffer(before.pixels.size(), 7));
}

TEST_F(Exchange, RefusesImpossibleRequestsWithoutHandingOutData) {
  HostImage image = PatternImage(8, 8, 3, false, SampleType::kUInt8);
  Attach(&image);
  AskInput(VRect{0, 0, 8, 8}, 2, 1);
  EXPECT_EQ(exchange_->AdvanceState(), kParamErr);
  AskInput(VRect{0, 0, 8, 8}, 0, 3);  // no alpha plane
  EXPECT_EQ(exchange_->AdvanceState(), kParamErr);
  AskInput(VRect{0, 0, 8, 8}, 0, 0);
  record_.inputRate = kUnitRate / 2;  // subsampling is not offered
  EXPECT_EQ(exchange_->AdvanceState(), kParamErr);
  record_.inputRate = kUnitRate;
  AskInput(VRect{0, 0, 100000, 100000}, 0, 2);
  EXPECT_EQ(exchange_->AdvanceState(), kMemFullErr);
  EXPECT_EQ(record_.inData, nullptr);
  EXPECT_EQ(exchange_->counters().refusedRequests, 4);
}

TEST_F(Exchange, HandsTheMaskWithTheFirstPlaneAndCountsTheCombination) {
  HostImage image = PatternImage(4, 4, 1, false, SampleType::kUInt8);
  GreyMask mask{4, 4, std::vector<uint8_t>(16)};
  for (size_t i = 0; i < mask.values.size(); ++i) mask.values[i] = static_cast<uint8_t>(i * 16);
  Attach(&image, &mask);
  AskInput(VRect{1, 2, 3, 4}, 0, 0);
  big_.maskRect32 = VRect{1, 2, 3, 4};
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  ASSERT_NE(record_.maskData, nullptr);
  EXPECT_EQ(record_.maskRowBytes, 2);
  EXPECT_EQ(static_cast<uint8_t*>(record_.maskData)[3], mask.values[2 * 4 + 3]);
  EXPECT_EQ(exchange_->counters().inputWithMask, 1);

  record_.haveMask = 0;  // a host without a mask answers a mask request with no data
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  EXPECT_EQ(record_.maskData, nullptr);
}

TEST_F(Exchange, RollbackUndoesEveryCommitAndAFailedCallCommitsNothing) {
  HostImage image = PatternImage(6, 5, 3, true, SampleType::kFloat32);
  const HostImage original = image;
  Attach(&image, nullptr, ExchangeFaults{5, -4711});
  // Whole pixels, then single overlapping planes: each commit journals only what it writes.
  struct Write {
    VRect rect;
    int lo, hi;
  };
  for (const Write& write : {Write{VRect{0, 0, 4, 4}, 0, 3}, Write{VRect{1, 1, 5, 6}, 2, 2},
                             Write{VRect{2, 2, 5, 6}, 1, 2}, Write{VRect{0, 0, 2, 3}, 3, 3}}) {
    AskOutput(write.rect, static_cast<int16_t>(write.lo), static_cast<int16_t>(write.hi));
    ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
    std::memset(record_.outData, 0x3F,
                static_cast<size_t>(record_.outRowBytes) *
                    static_cast<size_t>(write.rect.bottom - write.rect.top));
  }
  EXPECT_EQ(exchange_->AdvanceState(), -4711) << "the injected fault passes through";
  EXPECT_EQ(exchange_->counters().commits, 3) << "the failing call commits nothing";
  EXPECT_NE(image.pixels, original.pixels);
  exchange_->Rollback();
  EXPECT_EQ(image.pixels, original.pixels);
}

// Requests large enough to be split among threads: every row served and committed exactly once,
// in place (replicated edge rows included), and the journal of the split commit undoes it.
TEST_F(Exchange, LargeRequestsAreServedAndCommittedRowForRow) {
  HostImage image = PatternImage(700, 500, 3, false, SampleType::kUInt16);
  const HostImage original = image;
  Attach(&image);
  const VRect around{-2, 0, 502, 700};  // two replicated rows above and below
  AskInput(around, 0, 2);
  record_.inputPadding = kPaddingEdgeReplicate;
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  int64_t wrong = 0;
  for (int y = 0; y < 504; ++y) {
    const int row = std::clamp(y - 2, 0, 499);
    for (int x = 0; x < 700; ++x) {
      for (int p = 0; p < 3; ++p) {
        wrong += Buffer16(record_.inData, record_.inRowBytes, x, y, 3, p) !=
                 FileToHost16(Sample16(image, x, row, p));
      }
    }
  }
  EXPECT_EQ(wrong, 0);

  AskOutput(VRect{0, 0, 500, 700}, 1, 1);
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 700; ++x) {
      const auto value = static_cast<uint16_t>((x + 3 * y) % (kHostMax16 + 1));
      std::memcpy(static_cast<uint8_t*>(record_.outData) + y * record_.outRowBytes + x * 2, &value,
                  2);
    }
  }
  ASSERT_EQ(exchange_->CommitOutput(), kNoErr);
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 700; ++x) {
      const auto value = static_cast<uint16_t>((x + 3 * y) % (kHostMax16 + 1));
      const bool kept = FileToHost16(Sample16(original, x, y, 1)) == value;
      wrong +=
          Sample16(image, x, y, 1) != (kept ? Sample16(original, x, y, 1) : HostToFile16(value));
      wrong += Sample16(image, x, y, 0) != Sample16(original, x, y, 0);
    }
  }
  EXPECT_EQ(wrong, 0);
  exchange_->Rollback();
  EXPECT_EQ(image.pixels, original.pixels);
}

// The write-back without undo, plane after plane of one rectangle (a plane asked for twice must
// come back as it was just written): each request holds the image's current samples and each
// commit lands in its own plane, rows split among threads.
TEST_F(Exchange, WithoutUndoThePlaneByPlaneWriteBackServesWhatWasCommitted) {
  HostImage image = PatternImage(700, 500, 3, false, SampleType::kUInt16);
  const HostImage original = image;
  Attach(&image);
  exchange_->DropUndo();
  const auto written = [](int x, int y, int p) {
    return static_cast<uint16_t>((x + 3 * y + 1000 * p) % (kHostMax16 + 1));
  };
  int64_t wrong = 0;
  for (const int16_t p : {0, 1, 1, 2}) {
    AskOutput(VRect{0, 0, 500, 700}, p, p);
    ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
    for (int y = 0; y < 500; ++y) {
      for (int x = 0; x < 700; ++x) {
        uint8_t* at = static_cast<uint8_t*>(record_.outData) + y * record_.outRowBytes + x * 2;
        wrong += Buffer16(record_.outData, record_.outRowBytes, x, y, 1, 0) !=
                 FileToHost16(Sample16(image, x, y, p));
        const uint16_t value = written(x, y, p);
        std::memcpy(at, &value, 2);
      }
    }
  }
  big_ = Requests32();
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 700; ++x) {
      for (int p = 0; p < 3; ++p) {
        const uint16_t was = Sample16(original, x, y, p);
        const uint16_t value = written(x, y, p);
        wrong +=
            Sample16(image, x, y, p) != (FileToHost16(was) == value ? was : HostToFile16(value));
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(exchange_->counters().outputRequests, 4);
  EXPECT_EQ(exchange_->counters().commits, 4);
}

// Plane after plane of one input rectangle, with a commit between: every request holds the
// image's samples as they are at that request, however often a plane is asked for.
TEST_F(Exchange, InputPlanesAlwaysHoldTheCurrentSamples) {
  HostImage image = PatternImage(700, 500, 3, false, SampleType::kUInt16);
  Attach(&image);
  const VRect rect{0, 0, 500, 700};
  int64_t wrong = 0;
  const auto check = [&](int16_t p) {
    AskInput(rect, p, p);
    ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
    for (int y = 0; y < 500; ++y) {
      for (int x = 0; x < 700; ++x) {
        wrong += Buffer16(record_.inData, record_.inRowBytes, x, y, 1, 0) !=
                 FileToHost16(Sample16(image, x, y, p));
      }
    }
  };
  check(0);
  AskOutput(rect, 1, 1);
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  std::memset(record_.outData, 0x11, static_cast<size_t>(record_.outRowBytes) * 500);
  for (const int16_t p : {1, 2, 2, 0}) check(p);
  EXPECT_EQ(Sample16(image, 5, 5, 1), HostToFile16(0x1111)) << "the output was committed";
  EXPECT_EQ(wrong, 0);
}

// Without undo a selection still needs the original samples: where the mask is 0 the image
// keeps them, where it is 255 it takes what was written.
TEST_F(Exchange, WithoutUndoASelectionStillConfinesTheResult) {
  HostImage image = PatternImage(4, 2, 3, false, SampleType::kUInt8);
  const HostImage original = image;
  GreyMask mask{4, 2, {0, 255, 0, 255, 255, 0, 255, 0}};
  Attach(&image, &mask);
  exchange_->DropUndo();
  AskOutput(VRect{0, 0, 2, 4}, 0, 2);
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  std::memset(record_.outData, 0x3F, static_cast<size_t>(record_.outRowBytes) * 2);
  big_ = Requests32();
  ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  ASSERT_EQ(exchange_->Accept(), kNoErr);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const bool selected = mask.values[i / 3] == 255;
    EXPECT_EQ(image.pixels[i], selected ? 0x3F : original.pixels[i]) << i;
  }
}

}  // namespace
}  // namespace lumeray
