#include "diagnostics/log_queue.h"

#include <mutex>

#include "diagnostics/log_file.h"

namespace lumeray {

LogQueue& LogQueue::Instance() {
  static LogQueue* const queue = new LogQueue;
  return *queue;
}

void LogQueue::Open(std::unique_ptr<LogQueueEntry> byteOrderMark,
                    std::unique_ptr<LogQueueEntry> header) {
  std::lock_guard lock(section_);
  if (open_) return;
  entries_.push_front(std::move(header));
  entries_.push_front(std::move(byteOrderMark));
  open_ = true;
}

void LogQueue::Close(std::unique_ptr<LogQueueEntry> closingLine) {
  std::lock_guard lock(section_);
  if (!open_) return;
  open_ = false;
  entries_.push_back(std::move(closingLine));
}

bool LogQueue::IsOpen() {
  std::lock_guard lock(section_);
  return open_;
}

void LogQueue::Clear() {
  std::lock_guard lock(section_);
  entries_.clear();
}

size_t LogQueue::Size() {
  std::lock_guard lock(section_);
  return entries_.size();
}

void LogQueue::Push(std::unique_ptr<LogQueueEntry> entry) {
  std::lock_guard lock(section_);
  if (open_) entries_.push_back(std::move(entry));
  switch (mode_) {
    case kLoggingImmediate:
      WriteOutLocked();
      break;
    case kLoggingThreaded:
      if (open_ && entries_.size() == 1 && ioStart_ != nullptr) ioStart_->Set();
      break;
    case kLoggingDiscard:
      entries_.clear();
      break;
    default:
      break;
  }
}

uint32_t LogQueue::Mode() {
  std::lock_guard lock(section_);
  return mode_;
}

void LogQueue::EnterImmediateMode(int descriptor) {
  std::lock_guard lock(section_);
  mode_ = kLoggingImmediate;
  descriptor_ = descriptor;
  offset_ = 0;
  WriteOutLocked();
}

void LogQueue::EnterThreadedMode(const void* writer, platform::Event* ioStart) {
  std::lock_guard lock(section_);
  mode_ = kLoggingThreaded;
  writer_ = writer;
  ioStart_ = ioStart;
}

void LogQueue::EnterDiscardMode() {
  std::lock_guard lock(section_);
  mode_ = kLoggingDiscard;
}

void LogQueue::DetachWriter(const void* writer) {
  std::lock_guard lock(section_);
  if (writer_ != writer) return;
  writer_ = nullptr;
  ioStart_ = nullptr;
}

void LogQueue::LeaveMode() {
  std::lock_guard lock(section_);
  mode_ = kLoggingNone;
  descriptor_ = -1;
  offset_ = 0;
  writer_ = nullptr;
  ioStart_ = nullptr;
}

TakeOutcome LogQueue::TakeFirst(const void* writer, std::unique_ptr<LogQueueEntry>* entry) {
  std::lock_guard lock(section_);
  if (writer == nullptr || writer != writer_) return TakeOutcome::kNotWriter;
  if (entries_.empty()) return TakeOutcome::kEmpty;
  *entry = std::move(entries_.front());
  entries_.pop_front();
  return TakeOutcome::kEntry;
}

void LogQueue::WriteOutLocked() {
  if (descriptor_ < 0) return;
  for (const std::unique_ptr<LogQueueEntry>& entry : entries_) {
    // A failed write drops the entry: reporting it would only queue more of the same.
    WriteLogEntryAt(descriptor_, *entry, &offset_);
  }
  entries_.clear();
  FlushLogFile(descriptor_);
}

}  // namespace lumeray
