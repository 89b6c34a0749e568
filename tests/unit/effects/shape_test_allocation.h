// Making chosen allocations fail, for the out-of-memory paths of the shapes and the analysis.
//
// The test binaries replace malloc and realloc with thin wrappers around the C library's own
// allocator that fail a request when the armed predicate says so. Sanitizer builds keep their
// own allocator: there AllocationFailuresAvailable() is false and such tests skip.
//
// Exactly one source file of a test binary defines LUMERAY_DEFINE_ALLOCATION_WRAPPERS before
// including this header.
//
// Threading contract: arm and disarm while no other thread allocates what the predicate
// matches; the wrappers themselves may run on any thread.
#pragma once

#include <atomic>
#include <cstddef>

namespace lumeray::testing {

// `fresh` is true for malloc and for realloc of a null block.
using AllocationPredicate = bool (*)(size_t size, bool fresh, bool isRealloc);

bool AllocationFailuresAvailable();
void ArmAllocationFailure(AllocationPredicate predicate);
void DisarmAllocationFailure();
size_t FailedAllocationCount();

// Arms for its lifetime.
class FailingAllocations {
 public:
  explicit FailingAllocations(AllocationPredicate predicate) { ArmAllocationFailure(predicate); }
  ~FailingAllocations() { DisarmAllocationFailure(); }
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace lumeray::testing

#ifdef LUMERAY_DEFINE_ALLOCATION_WRAPPERS

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMERAY_ALLOCATION_WRAPPERS 0
#else
#define LUMERAY_ALLOCATION_WRAPPERS 1
#endif

namespace lumeray::testing {
namespace {
std::atomic<AllocationPredicate> armedPredicate{nullptr};
std::atomic<size_t> failedAllocations{0};
}  // namespace

bool AllocationFailuresAvailable() {
  return LUMERAY_ALLOCATION_WRAPPERS != 0;
}
void ArmAllocationFailure(AllocationPredicate predicate) {
  failedAllocations = 0;
  armedPredicate = predicate;
}
void DisarmAllocationFailure() {
  armedPredicate = nullptr;
}
size_t FailedAllocationCount() {
  return failedAllocations;
}

}  // namespace lumeray::testing

#if LUMERAY_ALLOCATION_WRAPPERS
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);

namespace {
bool ShouldFail(size_t size, bool fresh, bool isRealloc) {
  const lumeray::testing::AllocationPredicate predicate =
      lumeray::testing::armedPredicate.load(std::memory_order_relaxed);
  if (predicate == nullptr || !predicate(size, fresh, isRealloc)) return false;
  lumeray::testing::failedAllocations.fetch_add(1, std::memory_order_relaxed);
  return true;
}
}  // namespace

extern "C" void* malloc(size_t size) {
  if (ShouldFail(size, true, false)) return nullptr;
  return __libc_malloc(size);
}

extern "C" void* realloc(void* block, size_t size) {
  if (ShouldFail(size, block == nullptr, true)) return nullptr;
  return __libc_realloc(block, size);
}
#endif

#endif  // LUMERAY_DEFINE_ALLOCATION_WRAPPERS
