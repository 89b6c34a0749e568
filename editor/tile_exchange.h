// The host's side of advanceState: handing the module the tiles, planes and mask it asks for and
// taking back what it writes.
//
// Protocol, as the module drives it
//  * The module fills the request fields of the record: input (inRect, inLoPlane..inHiPlane),
//    output (outRect, outLoPlane..outHiPlane) and mask (maskRect), in the 32-bit rectangles of
//    bigDocumentData when it has set PluginUsing32BitCoordinates, else in the 16-bit ones. An
//    empty rectangle means "not requested".
//  * Serving a request sets inData/inRowBytes, outData/outRowBytes and maskData/maskRowBytes
//    (null and 0 for what was not requested). Planes lo..hi are interleaved per pixel; planes
//    are the colour planes followed by the transparency plane.
//  * Samples: 8-bit as bytes; 16-bit on the host scale 0..32768 (samples.h); 32-bit as floats.
//  * outData starts out holding the image's current samples. What the module leaves there is
//    committed to the image at the next advanceState, or when the selector returns. A 16-bit
//    sample the module hands back unchanged keeps the file's own value.
//  * Parts of a request outside the image are padded as inputPadding / maskPadding ask
//    (kPaddingEdgeReplicate, kPaddingNone, kPaddingError or a constant 0..255); output outside
//    the image is discarded.
//  * Every commit is journalled, so that a run that fails can be undone (Rollback).
//  * The selection: with a mask, accepting a run (Accept) blends each sample the module wrote
//    with the sample the image had before the run, as every host confines a filter to its
//    selection: original x (1 - m) + written x m with m = mask / 255, rounded to the nearest
//    integer sample (float samples blended in double precision). Where the mask is 0 the image
//    keeps its own samples bit for bit; where it is 255 it takes what the module wrote.
//
// Threading: used on the run thread only (advanceState is one of the interface's procedures).
// Serving a large request and committing a large output split the rows among threads of their
// own, one per usable processor, and return when all are done.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "filter_interface.h"
#include "host_image.h"

namespace lumeray {

constexpr int16_t kPaddingEdgeReplicate = -1;
constexpr int16_t kPaddingNone = -2;
constexpr int16_t kPaddingError = -3;
constexpr int32_t kUnitRate = 0x00010000;  // 1.0 in 16.16 fixed point
// The largest buffer one request may ask for.
constexpr size_t kMaxRequestBytes = size_t{1} << 30;
// The largest one-plane input request whose following planes are read ahead with it.
constexpr size_t kReadAheadBytes = size_t{16} << 20;

struct ExchangeCounters {
  int advanceStateCalls = 0;
  int servedRequests = 0;     // requests answered with data (advanceState or Continue)
  int inputRequests = 0;      // input alone
  int outputRequests = 0;     // output alone
  int maskRequests = 0;       // mask alone
  int inputWithMask = 0;      // input and mask together
  int otherCombinations = 0;  // any other mix of several requests in one call
  int emptyRequests = 0;
  int refusedRequests = 0;
  int commits = 0;
};

struct ExchangeFaults {
  int failAdvanceStateAt = 0;  // the Nth advanceState call (1-based) fails; 0 never
  OSErr failCode = kParamErr;
};

struct ExchangeRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
  int64_t Width() const { return int64_t{right} - left; }
  int64_t Height() const { return int64_t{bottom} - top; }
};

// Told of every change the exchange makes to the image, on the run thread: BeforeChange before
// any sample of the rows of `rect` (inside the image) is written, which may wait until no other
// thread reads those rows; Committed after the module's output for `planes` planes of `rect`
// went into the image.
class ImageChangeListener {
 public:
  virtual ~ImageChangeListener() = default;
  virtual void BeforeChange(const ExchangeRect& rect) = 0;
  virtual void Committed(const ExchangeRect& rect, int planes) = 0;
};

class TileExchange {
 public:
  TileExchange(FilterRecord* record, HostImage* image, const GreyMask* mask,
               ExchangeFaults faults = {});
  TileExchange(const TileExchange&) = delete;
  TileExchange& operator=(const TileExchange&) = delete;

  // The advanceState procedure: commit the pending output, then serve the current request.
  OSErr AdvanceState();
  // Serves the current request without committing (the host's answer to a selector that
  // returns with a request).
  OSErr ServeRequest();
  // Commits what the module wrote into the last output buffer; kMemFullErr when the journal
  // cannot hold the previous samples (nothing is written then).
  OSErr CommitOutput();
  bool HasRequest() const;

  // For a caller that throws the image away when the run fails (and so needs no undo): commits
  // are no longer journalled unless a selection needs the original samples (Accept). Rollback
  // then undoes only what was journalled.
  void DropUndo() { undoable_ = false; }
  // Undoes every commit of the run, newest first.
  void Rollback();
  // Keeps the commits, confined to the selection when there is a mask and `confine` is set
  // (drops the journal). kMemFullErr, with the image as the module left it and the journal kept
  // (so that the run can still be undone), when the selection cannot be applied.
  OSErr Accept(bool confine = true);
  // Frees the request buffers and clears the record's data pointers.
  void ReleaseBuffers();

  const ExchangeCounters& counters() const { return counters_; }
  // Null: nobody is told. The listener must outlive the exchange's use of the image.
  void SetChangeListener(ImageChangeListener* listener) { listener_ = listener; }

 private:
  struct PendingOutput {
    ExchangeRect rect;
    int lo = 0;
    int count = 0;
    size_t rowBytes = 0;
  };
  // The planes after a one-plane input request, read in the same pass over the rows for the
  // requests of the same rectangle that usually follow (the module reads plane after plane);
  // each is handed out once, and all are dropped when the image changes (the buffers are kept).
  struct ReadAheadPlanes {
    ExchangeRect rect;
    int first = 0;
    size_t rowBytes = 0;
    std::vector<std::vector<uint8_t>> planes;
    std::vector<bool> held;
  };
  // The samples of the planes lo .. lo + count - 1 in rect, as they were before a commit.
  struct JournalEntry {
    ExchangeRect rect;  // inside the image
    int lo = 0;
    int count = 0;
    std::vector<uint8_t> samples;
  };

  // The write-back's usual step, an output request for the next planes of the rectangle just
  // written, without a journal: commits the output and serves the request in one pass over the
  // rows, while each row of the image is in cache. False (nothing done) for any other step.
  bool CommitAndServeNextPlane();
  OSErr ApplySelection();
  // The listener's calls, when there is one.
  void BeforeChange(const ExchangeRect& rect) const;
  void Committed(const ExchangeRect& rect, int planes) const;
  bool Uses32BitCoordinates() const;
  ExchangeRect InRect() const;
  ExchangeRect OutRect() const;
  ExchangeRect MaskRect() const;
  void CountRequest(bool input, bool output, bool mask);
  void ClearDataPointers();
  OSErr ServeInput(const ExchangeRect& rect);
  // Serves input planes lo..hi, and reads the following planes ahead for a one-plane request
  // inside the image of at most kReadAheadBytes.
  OSErr ReadAhead(const ExchangeRect& rect, int lo, int hi, size_t* rowBytes);
  void DropReadAhead();
  OSErr ServeOutput(const ExchangeRect& rect);
  OSErr ServeMask(const ExchangeRect& rect);
  OSErr CheckPlanes(int lo, int hi) const;
  OSErr FillPlanes(const ExchangeRect& rect, int lo, int count, int16_t padding,
                   std::vector<uint8_t>* buffer, size_t* rowBytes) const;

  FilterRecord* record_;
  HostImage* image_;
  const GreyMask* mask_;
  ExchangeFaults faults_;
  ExchangeCounters counters_;
  std::vector<uint8_t> inBuffer_;
  std::vector<uint8_t> outBuffer_;
  std::vector<uint8_t> maskBuffer_;
  std::optional<PendingOutput> pending_;
  ReadAheadPlanes ahead_;
  std::vector<JournalEntry> journal_;
  bool undoable_ = true;
  ImageChangeListener* listener_ = nullptr;
};

}  // namespace lumeray
