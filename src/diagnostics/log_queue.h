// The log queue: the first-in first-out list of log entries shared by every reporting thread
// and the writer of the current logging mode, guarded by the LogQueueSection.
//
// The queue has an open flag. While it is open, pushed entries are kept and handled by mode:
// immediate mode writes the whole queue to its file and flushes it, threaded mode wakes the
// logging thread (its I/O start event) when the queue turns non-empty, discard mode empties the
// queue, and mode 0 leaves the entries waiting. While it is closed, a pushed entry is dropped,
// but still makes immediate mode write and discard mode drop what is left.
//
// In threaded mode only the registered writer (the logging thread's context) may take entries;
// once it is detached, TakeFirst tells it so, which lets a thread that did not end in time be
// abandoned safely.
//
// The queue is never destroyed, so that a thread still running at process exit finds it.
//
// Threading contract: every member may be called from any thread; each takes the
// LogQueueSection (recursive) for its whole work. Mode 1 writes happen under the section.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "diagnostics/debug_log.h"
#include "platform/sync.h"

namespace lumeray {

enum class TakeOutcome { kEntry, kEmpty, kNotWriter };

class LogQueue {
 public:
  static LogQueue& Instance();

  platform::CriticalSection& Section() { return section_; }

  // Puts the byte order mark and then the header in front of every queued entry and opens the
  // queue; does nothing when it is open already.
  void Open(std::unique_ptr<LogQueueEntry> byteOrderMark, std::unique_ptr<LogQueueEntry> header);
  // Marks the queue closed and appends the closing line; does nothing when it is closed.
  void Close(std::unique_ptr<LogQueueEntry> closingLine);
  bool IsOpen();
  // Frees every queued entry.
  void Clear();
  size_t Size();

  void Push(std::unique_ptr<LogQueueEntry> entry);

  uint32_t Mode();
  // Mode 1 on the given descriptor (not owned); writes what is queued at once.
  void EnterImmediateMode(int descriptor);
  void EnterThreadedMode(const void* writer, platform::Event* ioStart);
  void EnterDiscardMode();
  // No longer wakes nor serves `writer`; the mode stays until LeaveMode.
  void DetachWriter(const void* writer);
  // Mode 0, without file or writer.
  void LeaveMode();

  TakeOutcome TakeFirst(const void* writer, std::unique_ptr<LogQueueEntry>* entry);

 private:
  LogQueue() = default;
  void WriteOutLocked();

  platform::CriticalSection section_;  // the LogQueueSection
  std::deque<std::unique_ptr<LogQueueEntry>> entries_;
  bool open_ = false;
  uint32_t mode_ = kLoggingNone;
  int descriptor_ = -1;  // immediate mode
  uint64_t offset_ = 0;
  const void* writer_ = nullptr;  // threaded mode
  platform::Event* ioStart_ = nullptr;
};

}  // namespace lumeray
