// Reading named sections of a module file with libelf, without loading the module.
//
// Modules carry their resources (the plug-in property list first of all) in sections named
// ".rsrc.<type>.<id>". The reader checks that the file is a 64-bit x86-64 ELF shared object and
// that the section lies inside the file before copying it out.
//
// Threading: safe to call from any thread; libelf's one-time set-up is guarded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumeray {

enum class ElfReadStatus {
  kOk,
  kCannotOpen,     // missing, unreadable or not a regular file
  kNotElf,         // no ELF identification
  kUnsupported,    // ELF, but not a 64-bit x86-64 shared object
  kMalformed,      // the headers or section table cannot be read
  kSectionMissing  // no section of that name (or one without file contents)
};

struct ElfSection {
  uint64_t fileOffset = 0;
  std::vector<uint8_t> bytes;
};

// The section name of a module resource: ".rsrc.PiPL.16000".
std::string ResourceSectionName(std::string_view type, int id);

// Copies the contents of section `name` of the ELF file at `path`. On failure returns the status
// and a readable reason in *error.
ElfReadStatus ReadElfSection(const std::string& path, std::string_view name, ElfSection* section,
                             std::string* error);

}  // namespace lumeray
