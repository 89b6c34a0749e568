// Whole-file reads and atomic writes for the files the editor reads and writes for the user
// (output images, its state, action files).
//
// A write goes to a temporary file in the destination's folder with a short name that keeps the
// destination's extension (".lumeray-XXXXXX.png"), every write and the close are checked, the
// data is flushed to disk and only then renamed over the destination, so a reader sees the old
// file or the new one, never a part. Any failure, and a signal (see interrupt.h), removes the
// temporary file; the reason is one line ("the disk is full", "the file system is
// read-only", ...).
//
// Reads take regular files only: a named pipe, a device or a folder is refused, never waited on.
//
// Threading: plain functions; concurrent writers of the same file each leave a whole file.
#pragma once

#include <string>
#include <string_view>

namespace lumeray {

// Reads at most `limit` bytes; false (with a message) when the file cannot be read, is not a
// regular file or is larger.
bool ReadWholeFile(const std::string& path, size_t limit, std::string* contents,
                   std::string* error);

// Empty when `path` names a regular file (following links), else why it cannot be read.
std::string RegularFileProblem(const std::string& path);

// Creates missing parent folders when `createFolders` is set.
bool WriteFileAtomically(const std::string& path, std::string_view contents, bool createFolders,
                         std::string* error);

// The user's reason for a failed write of errno `error`.
std::string DescribeWriteError(int error);

// A temporary file being written beside its destination.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile();  // removes the file unless it was published
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file, readable as a new file would be under the process's umask.
  bool Create(const std::string& destination, std::string* error);
  // Flushes, closes and renames it over the destination; false (file removed) on any failure
  // or when a signal has arrived.
  bool Publish(std::string* error);

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  void Discard();

  std::string destination_;
  std::string path_;
  int fd_ = -1;
  int slot_ = -1;  // what a second signal removes (interrupt.h)
};

}  // namespace lumeray
