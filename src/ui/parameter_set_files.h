// Named parameter sets: files of exactly 255 bytes (extension "lmx"), the ParameterSet record
// at the front, zeros after it. A file is used only when it holds at least the 40-byte record
// and its first four u16 carry the current version 0.0.0.5; any other version is offered to the
// conversion (parameter-block command 5), which converts nothing, so it is obsolete.
//
//  * LoadSavedSet is for files of the parameters folder: an invalid or obsolete file is
//    reported to the user and deleted.
//  * ImportParameterFile is for files from anywhere else: reported, never deleted.
//  * DeleteParameterFile only ever deletes below the parameters folder (after resolving ".."
//    and symbolic links), whatever path it is given.
//  * Nothing is read, written or deleted while the user data folders are not available.
//  * Writes go through a temporary file and a rename: a file is the old one or the whole new one.
//
// Blocks are the 255-byte parameter blocks of effects/parameter_block.h, owned by the caller and
// freed with FreeParameterBlock (OwnedParameterBlock does it).
//
// Threading contract: UI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "effects/parameter_block.h"
#include "effects/parameter_set.h"

namespace lumeray {

inline constexpr const char* kParameterFileExtension = "lmx";

struct ParameterBlockDeleter {
  void operator()(uint8_t* block) const { FreeParameterBlock(block); }
};
using OwnedParameterBlock = std::unique_ptr<uint8_t, ParameterBlockDeleter>;

// ---- The content of a file ------------------------------------------------------------------

enum class ParameterFileContent {
  kValid,     // a record of the current version
  kInvalid,   // shorter than a record
  kObsolete,  // a record of another version that no conversion accepts
};

// Judges the bytes of a parameter-set file (at most the first 255 count) and, for a valid one,
// copies them into `block` (255 bytes; the rest zero) — converted when of another version and
// a conversion exists. The entry point for fuzzing the parameter-set file reading.
ParameterFileContent DecodeParameterFile(std::span<const uint8_t> bytes, uint8_t* block);

// ---- Files ----------------------------------------------------------------------------------

// Reads up to 255 bytes into `block` (255 bytes). True when at least a whole record was read.
bool ReadParameterFile(const std::string& path, uint8_t* block);
// Writes the 255 bytes of `block`. True when the file was written.
bool WriteParameterFile(const uint8_t* block, const std::string& path);
// Deletes the file when it lies below the parameters folder; true when it was deleted.
bool DeleteParameterFile(const std::string& path);

// True when `path` names an entry below the parameters folder, after resolving ".." and symbolic
// links of its folders.
bool IsInParametersFolder(const std::string& path);

// A file of the parameters folder: its block, or null after the user was told that the file is
// invalid or obsolete and it was deleted. A file that could not be read at all (a system error)
// is reported but kept.
OwnedParameterBlock LoadSavedSet(const std::string& path);
// A file from anywhere: its block, or null after the user was told why; never deletes.
OwnedParameterBlock ImportParameterFile(const std::string& path);

// ---- Applying a set -------------------------------------------------------------------------

// What the dialog does once a set was applied: sends itself MSG_PARAMETERS_RELOADED, takes the
// keyboard focus from every control and requests a redraw of the whole preview. The dialog sets
// it while it is open (null clears it).
using ParameterSetAppliedHook = void (*)();
void SetParameterSetAppliedHook(ParameterSetAppliedHook hook);

// Makes `block` (255 bytes) the current parameters and calls the hook. False, changing nothing,
// when the block is not of the current version.
bool ApplyParameterSet(const uint8_t* block);

}  // namespace lumeray
