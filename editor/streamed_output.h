// The output file written while the run writes its result back: rows the module has committed
// in every colour plane go to the file on a thread of its own, so that encoding the file and the
// disk's writing of it overlap the write-back instead of following it.
//
// A row is handed to the writer once the module's commits have covered it in every colour plane
// (a write-back goes in tiles, plane after plane, rows of tiles from the top), and rows are
// handed over in order from the top. A later change to a row already handed over (the module
// writing it again, an undo) makes the streamed file stale: the writer stops at once, and Finish
// writes the whole file again the ordinary way (WriteImageFile). Either way the file holds the
// image as the run left it.
//
// Threading: BeforeChange and Committed are called on the run thread, the exchange's. The writer
// thread reads only rows handed over; BeforeChange waits until the writer has let go of them
// before the run thread changes any. Finish and Abandon belong to the thread that made the
// object, after the run; the image must not change after Finish or Abandon begins.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host_image.h"
#include "image_io.h"
#include "tile_exchange.h"

namespace lumeray {

class StreamedOutput final : public ImageChangeListener {
 public:
  // Whether an output of `source` at `path` can be streamed: a format the image library writes
  // row by row (not an OpenEXR rewritten by the editor's own writer), without a selection (whose
  // blend comes after the run).
  static bool Suits(const std::string& path, const ImageFile& source, bool masked);

  // Starts the writer; the temporary file is made when the first rows are handed over.
  StreamedOutput(std::string path, const ImageFile& source);
  ~StreamedOutput() override;  // abandons
  StreamedOutput(const StreamedOutput&) = delete;
  StreamedOutput& operator=(const StreamedOutput&) = delete;

  void BeforeChange(const ExchangeRect& rect) override;
  void Committed(const ExchangeRect& rect, int planes) override;

  // After a run that succeeded: writes the rows not yet written and publishes the file, or
  // writes the whole file again when the streamed one went stale or failed.
  bool Finish(std::vector<std::string>* notices, std::string* error);
  // After a run that failed: stops the writer and removes the temporary file.
  void Abandon();

  // Whether the file was written while the run went on, and the rows handed to the writer so
  // far (for the tests).
  bool streamed() const { return streamed_; }
  int handed() const;

 private:
  void Write();
  void Stop();

  const std::string path_;
  const ImageFile& source_;
  const int height_;
  const int64_t full_;  // committed samples that make a row whole: width x colour planes

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<int64_t> covered_;  // committed samples per row
  int ready_ = 0;                 // rows [0, ready_) are whole
  int handed_ = 0;                // rows [0, handed_) are the writer's
  bool writing_ = false;          // the writer is reading rows it was handed
  bool finishing_ = false;        // the run is over: every row is final
  bool stop_ = false;
  bool stale_ = false;
  bool failed_ = false;
  ImageOutputFile file_;
  std::vector<std::string> notices_;
  bool streamed_ = false;
  std::thread writer_;
};

}  // namespace lumeray
