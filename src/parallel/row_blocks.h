// Splitting a run over rows of an image into blocks run on their own threads: the module's plane
// copies and the `lumeray` editor's tile exchange both use it. Header only; it needs nothing but
// the standard library, so both sides may include it.
//
// Conventions
//  * Rows are the half-open range [top, bottom); `width` counts the elements (pixels or samples)
//    of one row. Blocks are equal to within one row and follow one another in row order.
//  * A block is started only for every kElementsPerRowBlock elements: below that, starting a
//    thread costs about as much as the work it would take over.
//
// Threading contract: ForRowBlocks returns when every block has run. rows(first, end) is called
// on the calling thread for the first block and on one thread for each further block (or on the
// calling thread when that thread cannot be started); it must touch only its own rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace lumeray {

inline constexpr int64_t kElementsPerRowBlock = int64_t{1} << 18;

// Runs rows(first, end) over at most `threads` blocks of the rows [top, bottom) of `width`
// elements each. Row is the integer type the rows are numbered in.
template <typename Row, typename Rows>
void ForRowBlocks(Row top, Row bottom, int64_t width, int64_t threads, const Rows& rows) {
  const int64_t height = int64_t{bottom} - int64_t{top};
  const int64_t blocks = std::clamp<int64_t>(height * width / kElementsPerRowBlock, 1,
                                             std::max<int64_t>(std::min(threads, height), 1));
  const auto edge = [&](int64_t b) { return static_cast<Row>(top + height * b / blocks); };
  std::vector<std::thread> workers;
  std::vector<int64_t> left;
  for (int64_t b = 1; b < blocks; ++b) {
    try {
      workers.emplace_back([&rows, first = edge(b), end = edge(b + 1)] { rows(first, end); });
    } catch (const std::system_error&) {
      left.push_back(b);
    }
  }
  rows(edge(0), edge(1));
  for (const int64_t b : left) rows(edge(b), edge(b + 1));
  for (std::thread& worker : workers) worker.join();
}

}  // namespace lumeray
