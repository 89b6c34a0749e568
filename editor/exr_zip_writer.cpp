#include "exr_zip_writer.h"

#include <Imath/half.h>
#include <OpenEXR/openexr.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "exr_zip_chunk.h"

namespace lumeray {
namespace {

// Longer names need a file flag the writer does not set.
constexpr int kShortNameLength = 31;

// Attribute kinds the image library reads into its description and writes back unchanged.
bool CarriedOver(const exr_attribute_t& attribute) {
  // (A "type" is the part's storage, checked apart; this writer writes it too.)
  for (const char* structural : {"name", "tiles", "chunkCount", "version", "view"}) {
    if (std::strcmp(attribute.name, structural) == 0) return false;
  }
  switch (attribute.type) {
    case EXR_ATTR_BOX2I:
    case EXR_ATTR_BOX2F:
    case EXR_ATTR_CHLIST:
    case EXR_ATTR_CHROMATICITIES:
    case EXR_ATTR_COMPRESSION:
    case EXR_ATTR_DOUBLE:
    case EXR_ATTR_FLOAT:
    case EXR_ATTR_INT:
    case EXR_ATTR_LINEORDER:
    case EXR_ATTR_M33F:
    case EXR_ATTR_M44F:
    case EXR_ATTR_STRING:
    case EXR_ATTR_V2I:
    case EXR_ATTR_V2F:
    case EXR_ATTR_V3I:
    case EXR_ATTR_V3F:
      return true;
    default:
      return false;
  }
}

struct ContextCloser {
  void operator()(exr_context_t context) const { exr_finish(&context); }
};
using Context = std::unique_ptr<std::remove_pointer_t<exr_context_t>, ContextCloser>;

void IgnoreError(exr_const_context_t, exr_result_t, const char*) {}

// The header source is read through a descriptor of its own, opened without waiting (a named
// pipe put in the input's place is never waited on) and taken only when it is a regular file.
int64_t ReadSource(exr_const_context_t, void* data, void* buffer, uint64_t size, uint64_t offset,
                   exr_stream_error_func_ptr_t) {
  const int fd = *static_cast<int*>(data);
  uint64_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd, static_cast<char*>(buffer) + done, size - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<uint64_t>(got);
  }
  return static_cast<int64_t>(done);
}

int64_t SourceSize(exr_const_context_t, void* data) {
  struct stat status {};
  return fstat(*static_cast<int*>(data), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

struct FdCloser {
  void operator()(int* fd) const { close(*fd); }
};

// What the output's callbacks share with the writer: the caller's sink and the library's first
// complaint.
struct Sink {
  const ZipExrOptions* options = nullptr;
  bool wrote = false;
  bool failed = false;
  std::string message;
};

Sink* SinkOf(exr_const_context_t context) {
  void* data = nullptr;
  exr_get_user_data(context, &data);
  return static_cast<Sink*>(data);
}

void KeepError(exr_const_context_t context, exr_result_t, const char* message) {
  Sink* sink = SinkOf(context);
  if (sink != nullptr && sink->message.empty() && message != nullptr) sink->message = message;
}

int64_t WriteThrough(exr_const_context_t, void* data, const void* buffer, uint64_t size,
                     uint64_t offset, exr_stream_error_func_ptr_t) {
  auto* sink = static_cast<Sink*>(data);
  sink->wrote = sink->wrote || !sink->failed;
  if (sink->failed || !sink->options->write(buffer, size, offset)) {
    sink->failed = true;
    return -1;
  }
  return static_cast<int64_t>(size);
}

// The header source's facts the fast path depends on; false when it cannot be taken.
bool SourceMatches(exr_const_context_t source, const OIIO::ImageSpec& description,
                   const HostImage& image, exr_compression_t compression) {
  int parts = 0;
  exr_storage_t storage{};
  exr_compression_t stored{};
  exr_lineorder_t order{};
  exr_attr_box2i_t window{};
  const exr_attr_chlist_t* channels = nullptr;
  if (exr_get_count(source, &parts) != EXR_ERR_SUCCESS || parts != 1 ||
      exr_get_storage(source, 0, &storage) != EXR_ERR_SUCCESS || storage != EXR_STORAGE_SCANLINE ||
      exr_get_compression(source, 0, &stored) != EXR_ERR_SUCCESS || stored != compression ||
      exr_get_lineorder(source, 0, &order) != EXR_ERR_SUCCESS ||
      order != EXR_LINEORDER_INCREASING_Y ||
      exr_get_data_window(source, 0, &window) != EXR_ERR_SUCCESS ||
      exr_get_channels(source, 0, &channels) != EXR_ERR_SUCCESS) {
    return false;
  }
  if (window.min.x != description.x || window.min.y != description.y ||
      int64_t{window.max.x} - window.min.x + 1 != image.width ||
      int64_t{window.max.y} - window.min.y + 1 != image.height ||
      channels->num_channels != image.Channels()) {
    return false;
  }
  for (int c = 0; c < channels->num_channels; ++c) {
    const exr_attr_chlist_entry_t& entry = channels->entries[c];
    if (entry.name.length > kShortNameLength) return false;
    const auto named = std::count(description.channelnames.begin(), description.channelnames.end(),
                                  entry.name.str);
    if (named != 1 || entry.x_sampling != 1 || entry.y_sampling != 1) return false;
  }
  int32_t count = 0;
  if (exr_get_attribute_count(source, 0, &count) != EXR_ERR_SUCCESS) return false;
  for (int32_t i = 0; i < count; ++i) {
    const exr_attribute_t* attribute = nullptr;
    if (exr_get_attribute_by_index(source, 0, EXR_ATTR_LIST_FILE_ORDER, i, &attribute) !=
            EXR_ERR_SUCCESS ||
        !CarriedOver(*attribute) || attribute->name_length > kShortNameLength ||
        attribute->type_name_length > kShortNameLength) {
      return false;
    }
  }
  return true;
}

// Lays out chunk lines [top, bottom) of the image as OpenEXR stores them uncompressed.
class ChunkPacker {
 public:
  ChunkPacker(const HostImage& image, std::vector<int> hostChannels, bool half)
      : image_(image), hostChannels_(std::move(hostChannels)), half_(half) {}

  size_t LineBytes() const {
    return static_cast<size_t>(image_.width) * hostChannels_.size() * (half_ ? 2 : 4);
  }

  void Pack(int32_t top, int32_t bottom, std::vector<uint8_t>* raw) const {
    raw->resize(LineBytes() * static_cast<size_t>(bottom - top));
    uint8_t* out = raw->data();
    const auto channels = static_cast<size_t>(image_.Channels());
    for (int32_t y = top; y < bottom; ++y) {
      const auto* row = reinterpret_cast<const float*>(image_.Pixel(0, y));
      for (const int channel : hostChannels_) {
        const float* sample = row + channel;
        if (half_) {
          for (int32_t x = 0; x < image_.width; ++x, sample += channels, out += 2) {
            const uint16_t bits = imath_float_to_half(*sample);
            std::memcpy(out, &bits, 2);
          }
        } else {
          for (int32_t x = 0; x < image_.width; ++x, sample += channels, out += 4) {
            std::memcpy(out, sample, 4);
          }
        }
      }
    }
  }

 private:
  const HostImage& image_;
  std::vector<int> hostChannels_;  // the host sample of each file channel, in file order
  bool half_;
};

// Compresses chunks on several threads and hands them to `write` in order. A chunk waits in one
// of a few slots until its turn, so memory stays a few chunks whatever the image's size.
class ChunkPipeline {
 public:
  ChunkPipeline(const ChunkPacker& packer, int32_t height, int32_t linesPerChunk, int level,
                int threads)
      : packer_(packer),
        height_(height),
        linesPerChunk_(linesPerChunk),
        level_(level),
        threads_(std::max(threads, 1)),
        chunks_((height + linesPerChunk - 1) / linesPerChunk),
        slots_(static_cast<size_t>(2 * threads_ + 1)) {}

  // write(chunk, stored) on the calling thread, chunk by chunk; false ends the run.
  template <typename Write>
  bool Run(const Write& write, std::string* error) {
    std::vector<std::thread> workers;
    for (int t = 1; t < threads_; ++t) {
      try {
        workers.emplace_back([this] { Work(false); });
      } catch (const std::system_error&) {
        break;  // fewer helpers; the calling thread compresses too
      }
    }
    const bool written = Work(true, write);
    {
      std::lock_guard lock(mutex_);
      if (!written) stopped_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers) worker.join();
    if (!written || !failure_.empty()) {
      if (error->empty()) *error = failure_.empty() ? "the chunk could not be written" : failure_;
      return false;
    }
    return true;
  }

 private:
  struct Slot {
    std::vector<uint8_t> stored;
    bool ready = false;
  };

  bool Work(bool writes) {
    return Work(writes, [](int32_t, const std::vector<uint8_t>&) { return false; });
  }

  // The writing thread writes every chunk whose turn has come and compresses in between; the
  // others only compress.
  template <typename Write>
  bool Work(bool writes, const Write& write) {
    std::optional<ZipChunkCompressor> compressor;
    std::vector<uint8_t> raw;
    std::unique_lock lock(mutex_);
    while (!stopped_) {
      if (writes && written_ == chunks_) return true;
      Slot* turn = writes ? &slots_[static_cast<size_t>(written_) % slots_.size()] : nullptr;
      if (turn != nullptr && turn->ready) {
        const int32_t chunk = written_;
        lock.unlock();
        const bool ok = write(chunk, turn->stored);
        lock.lock();
        if (!ok) return false;
        turn->ready = false;
        ++written_;
        changed_.notify_all();
        continue;
      }
      if (next_ < chunks_ && next_ < written_ + static_cast<int32_t>(slots_.size())) {
        const int32_t chunk = next_++;
        Slot& slot = slots_[static_cast<size_t>(chunk) % slots_.size()];
        lock.unlock();
        const bool ok = Compress(chunk, &compressor, &raw, &slot.stored);
        lock.lock();
        if (!ok) {
          stopped_ = true;
          changed_.notify_all();
          return false;
        }
        slot.ready = true;
        changed_.notify_all();
        continue;
      }
      if (!writes && next_ == chunks_) return true;
      changed_.wait(lock);
    }
    return false;
  }

  bool Compress(int32_t chunk, std::optional<ZipChunkCompressor>* compressor,
                std::vector<uint8_t>* raw, std::vector<uint8_t>* stored) {
    try {
      if (!*compressor) compressor->emplace(level_);
      const int32_t top = chunk * linesPerChunk_;
      packer_.Pack(top, std::min(top + linesPerChunk_, height_), raw);
      (*compressor)->Compress(*raw, stored);
      return true;
    } catch (const std::exception&) {  // std::bad_alloc, std::length_error
      std::lock_guard lock(mutex_);
      if (failure_.empty()) failure_ = "not enough memory to compress the image";
      return false;
    }
  }

  const ChunkPacker& packer_;
  const int32_t height_;
  const int32_t linesPerChunk_;
  const int level_;
  const int threads_;
  const int32_t chunks_;

  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_; a slot's `stored` belongs to the thread that claimed its chunk until
  // `ready`, then to the writing thread until it is written.
  std::vector<Slot> slots_;
  int32_t next_ = 0;     // the next chunk to compress
  int32_t written_ = 0;  // chunks written
  bool stopped_ = false;
  std::string failure_;
};

}  // namespace

ExrWriteOutcome WriteZipExr(const std::string& headerSource, const OIIO::ImageSpec& description,
                            const HostImage& image, const ZipExrOptions& options,
                            std::string* error) {
  // The image library's name, with or without its ":level" suffix.
  std::string compressionName = description.get_string_attribute("compression");
  compressionName = compressionName.substr(0, compressionName.find(':'));
  const auto base = static_cast<OIIO::TypeDesc::BASETYPE>(description.format.basetype);
  if (headerSource.empty() || image.sampleType != SampleType::kFloat32 ||
      (compressionName != "zip" && compressionName != "zips") ||
      (base != OIIO::TypeDesc::HALF && base != OIIO::TypeDesc::FLOAT) ||
      description.tile_width != 0 || description.deep ||
      description.nchannels != image.Channels() ||
      description.channelnames.size() != static_cast<size_t>(image.Channels()) ||
      image.width <= 0 || image.height <= 0) {
    return ExrWriteOutcome::kUnsupported;
  }
  const exr_compression_t compression =
      compressionName == "zip" ? EXR_COMPRESSION_ZIP : EXR_COMPRESSION_ZIPS;
  const bool half = base == OIIO::TypeDesc::HALF;

  int sourceFd = open(headerSource.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (sourceFd < 0) return ExrWriteOutcome::kUnsupported;
  const std::unique_ptr<int, FdCloser> closeSource(&sourceFd);
  struct stat status {};
  if (fstat(sourceFd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return ExrWriteOutcome::kUnsupported;
  }
  exr_context_initializer_t readInit = EXR_DEFAULT_CONTEXT_INITIALIZER;
  readInit.error_handler_fn = IgnoreError;
  readInit.user_data = &sourceFd;
  readInit.read_fn = ReadSource;
  readInit.size_fn = SourceSize;
  readInit.flags = EXR_CONTEXT_FLAG_SILENT_HEADER_PARSE;
  exr_context_t opened = nullptr;
  if (exr_start_read(&opened, headerSource.c_str(), &readInit) != EXR_ERR_SUCCESS) {
    exr_finish(&opened);
    return ExrWriteOutcome::kUnsupported;
  }
  const Context source(opened);
  if (!SourceMatches(source.get(), description, image, compression)) {
    return ExrWriteOutcome::kUnsupported;
  }

  // Declared before the output, which writes through it as it is closed: once `failed` is set,
  // nothing more reaches the file.

  Sink sink;
  sink.options = &options;
  exr_context_initializer_t writeInit = EXR_DEFAULT_CONTEXT_INITIALIZER;
  writeInit.error_handler_fn = KeepError;
  writeInit.user_data = &sink;
  writeInit.write_fn = WriteThrough;
  exr_context_t created = nullptr;
  if (exr_start_write(&created, headerSource.c_str(), EXR_WRITE_FILE_DIRECTLY, &writeInit) !=
      EXR_ERR_SUCCESS) {
    sink.failed = true;
    exr_finish(&created);
    return ExrWriteOutcome::kUnsupported;
  }
  Context output(created);
  int part = 0;
  bool defined =
      exr_add_part(output.get(), nullptr, EXR_STORAGE_SCANLINE, &part) == EXR_ERR_SUCCESS;
  for (const std::string& name : description.channelnames) {
    defined = defined && exr_add_channel(output.get(), part, name.c_str(),
                                         half ? EXR_PIXEL_HALF : EXR_PIXEL_FLOAT,
                                         EXR_PERCEPTUALLY_LOGARITHMIC, 1, 1) == EXR_ERR_SUCCESS;
  }
  defined = defined && exr_set_compression(output.get(), part, compression) == EXR_ERR_SUCCESS &&
            exr_copy_unset_attributes(output.get(), part, source.get(), 0) == EXR_ERR_SUCCESS;
  const exr_attr_chlist_t* fileChannels = nullptr;
  // OpenEXR's fixed chunk heights of the two zip compressions.
  const int32_t linesPerChunk = compression == EXR_COMPRESSION_ZIP ? 16 : 1;
  defined = defined && exr_get_channels(output.get(), part, &fileChannels) == EXR_ERR_SUCCESS;
  if (!defined) {
    sink.failed = true;
    return ExrWriteOutcome::kUnsupported;
  }
  std::vector<int> hostChannels;
  for (int c = 0; c < fileChannels->num_channels; ++c) {
    const auto named = std::find(description.channelnames.begin(), description.channelnames.end(),
                                 fileChannels->entries[c].name.str);
    hostChannels.push_back(static_cast<int>(named - description.channelnames.begin()));
  }

  const auto fail = [&](const std::string& what) {
    *error = sink.message.empty() ? what : sink.message;
    sink.failed = true;
    return ExrWriteOutcome::kFailed;
  };
  if (exr_write_header(output.get()) != EXR_ERR_SUCCESS) {
    if (!sink.wrote) {  // the library refused the header before writing it
      sink.failed = true;
      return ExrWriteOutcome::kUnsupported;
    }
    return fail("the header could not be written");
  }
  const ChunkPacker packer(image, std::move(hostChannels), half);
  ChunkPipeline pipeline(packer, image.height, linesPerChunk, options.level, options.threads);
  const auto writeChunk = [&](int32_t chunk, const std::vector<uint8_t>& stored) {
    return exr_write_scanline_chunk(output.get(), part, description.y + chunk * linesPerChunk,
                                    stored.data(), stored.size()) == EXR_ERR_SUCCESS;
  };
  std::string reason;
  if (!pipeline.Run(writeChunk, &reason)) {
    return fail(reason);
  }
  // Finishing writes the chunk offsets.
  exr_context_t finishing = output.release();
  if (exr_finish(&finishing) != EXR_ERR_SUCCESS || sink.failed) {
    return fail("the chunk offsets could not be written");
  }
  return ExrWriteOutcome::kWritten;
}

}  // namespace lumeray
