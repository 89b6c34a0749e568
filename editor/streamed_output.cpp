#include "streamed_output.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <utility>

namespace lumeray {
namespace {

// Rows the writer takes at a time: a commit into rows being written waits for at most this many.
constexpr int kRowsPerHandOver = 256;

}  // namespace

bool StreamedOutput::Suits(const std::string& path, const ImageFile& source, bool masked) {
  if (masked) return false;
  const auto output = OIIO::ImageOutput::create(path);
  if (!output) return false;
  return !(std::string(output->format_name()) == "openexr" && source.formatName == "openexr");
}

StreamedOutput::StreamedOutput(std::string path, const ImageFile& source)
    : path_(std::move(path)),
      source_(source),
      height_(source.image.height),
      full_(int64_t{source.image.width} * source.image.colourPlanes),
      covered_(static_cast<size_t>(source.image.height), 0) {
  writer_ = std::thread([this] { Write(); });
}

StreamedOutput::~StreamedOutput() {
  Abandon();
}

int StreamedOutput::handed() const {
  const std::lock_guard<std::mutex> hold(lock_);
  return handed_;
}

void StreamedOutput::BeforeChange(const ExchangeRect& rect) {
  std::unique_lock<std::mutex> hold(lock_);
  if (rect.Empty() || rect.top >= handed_) return;
  stale_ = true;
  changed_.notify_all();
  changed_.wait(hold, [&] { return !writing_; });
}

void StreamedOutput::Committed(const ExchangeRect& rect, int planes) {
  const std::lock_guard<std::mutex> hold(lock_);
  const int top = std::max(rect.top, 0);
  const int bottom = std::min(rect.bottom, height_);
  for (int y = top; y < bottom; ++y) covered_[static_cast<size_t>(y)] += rect.Width() * planes;
  const int before = ready_;
  while (ready_ < height_ && covered_[static_cast<size_t>(ready_)] >= full_) ++ready_;
  if (ready_ != before) changed_.notify_all();
}

void StreamedOutput::Write() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [&] { return stop_ || stale_ || ready_ > handed_ || finishing_; });
    if (stop_ || stale_ || handed_ >= height_) break;
    if (ready_ <= handed_) continue;  // finishing: ready_ is the height by now
    const int end = std::min(ready_, handed_ + kRowsPerHandOver);
    const bool first = handed_ == 0;
    handed_ = end;
    writing_ = true;
    hold.unlock();
    std::vector<std::string> notices;
    std::string error;
    bool ok = true;
    if (first) ok = file_.Open(path_, source_.image, source_, &notices, &error);
    if (ok) ok = file_.WriteRows(end, &error);
    hold.lock();
    writing_ = false;
    changed_.notify_all();
    if (first) notices_ = std::move(notices);
    if (!ok) {
      failed_ = true;  // Finish writes the whole file again, and finds the reason again
      break;
    }
  }
}

void StreamedOutput::Stop() {
  if (writer_.joinable()) writer_.join();
}

bool StreamedOutput::Finish(std::vector<std::string>* notices, std::string* error) {
  {
    std::unique_lock<std::mutex> hold(lock_);
    streamed_ = handed_ > 0 && !stale_;
    finishing_ = true;
    ready_ = height_;
    changed_.notify_all();
  }
  Stop();
  if (!stale_ && !failed_ && handed_ == height_) {
    notices->insert(notices->end(), notices_.begin(), notices_.end());
    return file_.Publish(error);
  }
  // Written again from the start: a stale file, or one that failed (whose reason the whole
  // write finds again, with the disk's state as it is now).
  streamed_ = false;
  file_.Discard();
  return WriteImageFile(path_, source_.image, source_, notices, error);
}

void StreamedOutput::Abandon() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    changed_.notify_all();
  }
  Stop();
  file_.Discard();
}

}  // namespace lumeray
