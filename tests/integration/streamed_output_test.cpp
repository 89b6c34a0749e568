// The output file written during the write-back: driven through the tile exchange the way the
// module writes back (tiles, plane after plane), against the ordinary write of the same image.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "image_io.h"
#include "samples.h"
#include "streamed_output.h"
#include "support/temp_dir.h"
#include "support/test_images.h"
#include "tile_exchange.h"

namespace lumeray {
namespace {

using testing::PatternImage;

constexpr int kWidth = 700;
constexpr int kHeight = 600;
constexpr int kTile = 256;

class Streamed : public ::testing::Test {
 protected:
  // Reads a pattern image of `type` written as `name` back as the run's input.
  void Load(const std::string& name, SampleType type) {
    const std::string path = dir_.File(name);
    testing::WriteTestImage(path, PatternImage(kWidth, kHeight, 3, false, type));
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(ReadImageFile(path, &input_, &notes, &error)) << error;
    record_ = FilterRecord{};
    big_ = BigDocumentStruct{};
    big_.PluginUsing32BitCoordinates = 1;
    record_.bigDocumentData = &big_;
    exchange_ = std::make_unique<TileExchange>(&record_, &input_.image, nullptr);
    exchange_->DropUndo();
  }
  // One output request for plane p of `rect` (left, top, right, bottom), filled with a value
  // of the position and `seed`, committed by the next request.
  void WriteBack(const ExchangeRect& rect, int16_t p, int seed) {
    big_.outRect32 = VRect{rect.top, rect.left, rect.bottom, rect.right};
    record_.outLoPlane = record_.outHiPlane = p;
    ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
    const size_t bytes = input_.image.BytesPerSample();
    for (int y = 0; y < rect.Height(); ++y) {
      auto* row = static_cast<uint8_t*>(record_.outData) + y * record_.outRowBytes;
      for (int x = 0; x < rect.Width(); ++x) {
        const int value = (rect.left + x) * 7 + (rect.top + y) * 3 + p * 50 + seed;
        if (bytes == 2) {
          const auto sample = static_cast<uint16_t>(value % (kHostMax16 + 1));
          std::memcpy(row + x * 2, &sample, 2);
        } else {
          row[x] = static_cast<uint8_t>(value);
        }
      }
    }
  }
  // The tiles of rows [top, bottom), plane after plane.
  void WriteBackRows(int top, int bottom, int seed) {
    for (int left = 0; left < kWidth; left += kTile) {
      const ExchangeRect tile{left, top, std::min(left + kTile, kWidth), bottom};
      for (int16_t p = 0; p < 3; ++p) WriteBack(tile, p, seed);
    }
  }
  // A call without a request: commits the last output, as the next tile's request or the end of
  // the run does.
  void CommitLast() {
    big_.outRect32 = VRect{};
    ASSERT_EQ(exchange_->AdvanceState(), kNoErr);
  }
  // Waits (at most a few seconds) until the writer holds at least `rows` rows.
  static void AwaitHandedOver(const StreamedOutput& stream, int rows) {
    for (int i = 0; i < 5000 && stream.handed() < rows; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(stream.handed(), rows);
  }
  // The file the ordinary write makes of the image as it is now, read back.
  HostImage Expected(const std::string& name) {
    std::vector<std::string> notes;
    std::string error;
    EXPECT_TRUE(WriteImageFile(dir_.File(name), input_.image, input_, &notes, &error)) << error;
    return testing::ReadTestImage(dir_.File(name));
  }

  testing::TempDir dir_;
  ImageFile input_;
  FilterRecord record_{};
  BigDocumentStruct big_{};
  std::unique_ptr<TileExchange> exchange_;
};

TEST_F(Streamed, ATiledWriteBackIsWrittenDuringTheRunAsTheOrdinaryWriteWritesIt) {
  for (const auto& [name, type] :
       {std::pair{"out.tif", SampleType::kUInt16}, std::pair{"out.png", SampleType::kUInt8},
        std::pair{"out.jpg", SampleType::kUInt8}}) {
    SCOPED_TRACE(name);
    Load(std::string("in-") + name, type);
    const std::string output = dir_.File(name);
    StreamedOutput stream(output, input_);
    exchange_->SetChangeListener(&stream);
    WriteBackRows(0, kTile, 1);
    CommitLast();
    AwaitHandedOver(stream, kTile);  // the top rows go out while the rest is written back
    WriteBackRows(kTile, 2 * kTile, 1);
    // The last rows are left as they were: they are final once the run is over.
    CommitLast();
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(stream.Finish(&notes, &error)) << error;
    EXPECT_TRUE(stream.streamed());
    EXPECT_EQ(testing::ReadTestImage(output).pixels,
              Expected(std::string("expected-") + name).pixels);
    EXPECT_EQ(testing::ReadFileBytes(output).size(),
              testing::ReadFileBytes(dir_.File(std::string("expected-") + name)).size());
  }
}

TEST_F(Streamed, ARowChangedAfterItWentOutHasTheWholeFileWrittenAgain) {
  Load("in.tif", SampleType::kUInt16);
  const std::string output = dir_.File("out.tif");
  StreamedOutput stream(output, input_);
  exchange_->SetChangeListener(&stream);
  WriteBackRows(0, kTile, 1);
  CommitLast();
  AwaitHandedOver(stream, kTile);
  WriteBackRows(0, kHeight, 2);  // again from the top
  CommitLast();
  std::vector<std::string> notes;
  std::string error;
  ASSERT_TRUE(stream.Finish(&notes, &error)) << error;
  EXPECT_FALSE(stream.streamed());
  EXPECT_EQ(testing::ReadTestImage(output).pixels, Expected("expected.tif").pixels);
}

TEST_F(Streamed, AnAbandonedRunLeavesTheOldOutputAndNoTemporaryFile) {
  Load("in.png", SampleType::kUInt8);
  const std::string output = dir_.File("out.png");
  testing::WriteFileBytes(output, {'o', 'l', 'd'});
  const std::vector<std::string> before = dir_.Entries();
  {
    StreamedOutput stream(output, input_);
    exchange_->SetChangeListener(&stream);
    WriteBackRows(0, kTile, 1);
    CommitLast();
    AwaitHandedOver(stream, kTile);
    WriteBackRows(kTile, 2 * kTile, 1);
    stream.Abandon();
    exchange_->SetChangeListener(nullptr);
  }
  EXPECT_EQ(testing::ReadFileBytes(output), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(dir_.Entries(), before);
}

}  // namespace
}  // namespace lumeray
