#include "elf_sections.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace lumeray {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class ElfHandle {
 public:
  explicit ElfHandle(Elf* elf) : elf_(elf) {}
  ~ElfHandle() {
    if (elf_ != nullptr) elf_end(elf_);
  }
  ElfHandle(const ElfHandle&) = delete;
  ElfHandle& operator=(const ElfHandle&) = delete;
  Elf* get() const { return elf_; }

 private:
  Elf* elf_;
};

bool InitialiseLibelf() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = elf_version(EV_CURRENT) != EV_NONE; });
  return ready;
}

std::string LibelfError() {
  const char* message = elf_errmsg(-1);
  return message != nullptr ? message : "unknown libelf error";
}

}  // namespace

std::string ResourceSectionName(std::string_view type, int id) {
  return ".rsrc." + std::string(type) + "." + std::to_string(id);
}

ElfReadStatus ReadElfSection(const std::string& path, std::string_view name, ElfSection* section,
                             std::string* error) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    *error = std::strerror(errno);
    return ElfReadStatus::kCannotOpen;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return ElfReadStatus::kCannotOpen;
  }
  unsigned char ident[SELFMAG] = {};
  if (pread(fd.get(), ident, SELFMAG, 0) != SELFMAG || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
    *error = "not an ELF file";
    return ElfReadStatus::kNotElf;
  }
  if (!InitialiseLibelf()) {
    *error = "libelf cannot be initialised: " + LibelfError();
    return ElfReadStatus::kMalformed;
  }
  ElfHandle elf(elf_begin(fd.get(), ELF_C_READ, nullptr));
  if (elf.get() == nullptr || elf_kind(elf.get()) != ELF_K_ELF) {
    *error = "the ELF headers cannot be read: " + LibelfError();
    return ElfReadStatus::kMalformed;
  }
  GElf_Ehdr header{};
  if (gelf_getehdr(elf.get(), &header) == nullptr) {
    *error = "the ELF header cannot be read: " + LibelfError();
    return ElfReadStatus::kMalformed;
  }
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_machine != EM_X86_64 ||
      header.e_type != ET_DYN) {
    *error = "not a 64-bit x86-64 shared object";
    return ElfReadStatus::kUnsupported;
  }
  size_t namesIndex = 0;
  if (elf_getshdrstrndx(elf.get(), &namesIndex) != 0) {
    *error = "the section table cannot be read: " + LibelfError();
    return ElfReadStatus::kMalformed;
  }
  const auto fileSize = static_cast<uint64_t>(info.st_size);
  for (Elf_Scn* scn = elf_nextscn(elf.get(), nullptr); scn != nullptr;
       scn = elf_nextscn(elf.get(), scn)) {
    GElf_Shdr sectionHeader{};
    if (gelf_getshdr(scn, &sectionHeader) == nullptr) {
      *error = "a section header cannot be read: " + LibelfError();
      return ElfReadStatus::kMalformed;
    }
    const char* sectionName = elf_strptr(elf.get(), namesIndex, sectionHeader.sh_name);
    if (sectionName == nullptr) {
      *error = "a section name cannot be read: " + LibelfError();
      return ElfReadStatus::kMalformed;
    }
    if (name != sectionName) continue;
    if (sectionHeader.sh_type == SHT_NOBITS) {
      *error = "section " + std::string(name) + " has no contents in the file";
      return ElfReadStatus::kSectionMissing;
    }
    if (sectionHeader.sh_offset > fileSize ||
        sectionHeader.sh_size > fileSize - sectionHeader.sh_offset) {
      *error = "section " + std::string(name) + " extends past the end of the file";
      return ElfReadStatus::kMalformed;
    }
    section->fileOffset = sectionHeader.sh_offset;
    section->bytes.assign(sectionHeader.sh_size, 0);
    elf_errno();  // clears any earlier error, so that the check below sees only this read
    for (Elf_Data* data = elf_getdata(scn, nullptr); data != nullptr;
         data = elf_getdata(scn, data)) {
      const auto offset = static_cast<uint64_t>(data->d_off);
      if (offset > sectionHeader.sh_size || data->d_size > sectionHeader.sh_size - offset) {
        *error = "section " + std::string(name) + " holds inconsistent data";
        return ElfReadStatus::kMalformed;
      }
      if (data->d_buf != nullptr && data->d_size > 0) {
        std::memcpy(section->bytes.data() + offset, data->d_buf, data->d_size);
      }
    }
    if (elf_errno() != 0) {
      *error = "section " + std::string(name) + " cannot be read: " + LibelfError();
      return ElfReadStatus::kMalformed;
    }
    return ElfReadStatus::kOk;
  }
  *error = "the file has no section " + std::string(name);
  return ElfReadStatus::kSectionMissing;
}

}  // namespace lumeray
