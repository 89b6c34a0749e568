// Whole-file reads and atomic writes for the editor's own files (its state, action files).
//
// A write goes to a temporary file in the destination's folder, is flushed to disk and then
// renamed over the destination, so a reader sees the old file or the new one, never a part.
//
// Threading: plain functions; concurrent writers of the same file each leave a whole file.
#pragma once

#include <string>
#include <string_view>

namespace lumeray {

// Reads at most `limit` bytes; false (with a message) when the file cannot be read or is larger.
bool ReadWholeFile(const std::string& path, size_t limit, std::string* contents,
                   std::string* error);

// Creates missing parent folders when `createFolders` is set.
bool WriteFileAtomically(const std::string& path, std::string_view contents, bool createFolders,
                         std::string* error);

}  // namespace lumeray
