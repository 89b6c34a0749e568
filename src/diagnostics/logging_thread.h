// The logging thread of threaded logging mode: it takes the log queue's entries one at a time
// and writes each at the running file offset.
//
// Hand-over of the file: the thread writes through a duplicate descriptor of its own and closes
// it itself when it ends, so the log's own descriptor may be closed at any time without the
// thread ever writing through a closed (or reused) descriptor. The thread's context (its events
// and that descriptor) is shared between the thread and its owner and freed by whichever lets go
// last.
//
// Stopping: the queue must be closed first (its closing line is the last entry). The thread is
// asked to end (termination event, then I/O start event) after writing what is queued; each
// wait for it lasts at most the given time. After a first time-out it is asked to end at once
// (Thread::RequestTermination); after a second it is abandoned: detached from the queue, so it
// takes no more entries, and left to end on its own. Time-outs are reported.
//
// Threading contract: start and stop on the thread that opens and closes the log.
#pragma once

#include <cstdint>

namespace lumeray {

constexpr uint32_t kLoggingThreadEndTimeoutMs = 10000;

struct LoggingThread;

// Starts the thread on `descriptor` (duplicated), puts the queue in threaded mode and wakes the
// thread once for what is already queued. Failures are reported; null when no thread runs.
LoggingThread* StartLoggingThread(int descriptor);

// Ends the thread as described above and frees what belongs to it. The caller may close its
// descriptor afterwards.
void StopLoggingThread(LoggingThread* thread, uint32_t timeoutMs = kLoggingThreadEndTimeoutMs);

}  // namespace lumeray
