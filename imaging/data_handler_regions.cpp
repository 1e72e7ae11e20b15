// Connected regions of on pixels (grey value above 125, 4-connected) and
// hole filling between the ends of mask rows and columns.
//
// Region growth keeps its stack on the heap, so a region as large as the
// whole plane cannot exhaust the thread's stack. RegionAnalysis does not
// grow one region after another: it labels runs of on pixels row by row and
// joins touching runs (union-find), which finds the same regions, sizes and
// first pixels in one pass over the plane.

#include "imaging/data_handler.h"
#include "imaging/scratch_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace pixalto {
namespace {

inline bool On(std::uint8_t v) { return v > 125; }

// The seed is inside the plane, on and not yet taken.
bool SeedOk(const unsigned char* plane, int width, int height, const unsigned char* visited,
            int row, int column) {
  if (row < 0 || row >= height || column < 0 || column >= width) return false;
  const std::size_t i = static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                        static_cast<std::size_t>(column);
  return On(plane[i]) && !visited[i];
}

// Neighbour `dir` (0 above, 1 left, 2 below, 3 right) of pixel i at (x, y),
// or -1 when it lies outside the plane.
inline long long Neighbour(long long i, long long x, long long y, int dir, long long w, long long h) {
  switch (dir) {
    case 0: return y > 0 ? i - w : -1;
    case 1: return x > 0 ? i - 1 : -1;
    case 2: return y + 1 < h ? i + w : -1;
    default: return x + 1 < w ? i + 1 : -1;
  }
}

// Whether the pixel joins the region now; if so it is marked and copied.
inline bool Take(const unsigned char* plane, unsigned char* visited, unsigned char* output,
                 long long i) {
  if (i < 0 || visited[i] || !On(plane[i])) return false;
  visited[i] = 1;
  output[i] = plane[i];
  return true;
}

// Runs of on pixels: [x0, x1) in row y; `parent` links touching runs.
struct Run {
  int y, x0, x1;
  std::uint32_t parent;
};

std::uint32_t Root(std::vector<Run>& runs, std::uint32_t i) {
  std::uint32_t r = i;
  while (runs[r].parent != r) r = runs[r].parent;
  while (runs[i].parent != r) {  // shorten the path for later look-ups
    const std::uint32_t next = runs[i].parent;
    runs[i].parent = r;
    i = next;
  }
  return r;
}

// The earlier run stays the root, so a root is the first run of its region
// in row order.
void Join(std::vector<Run>& runs, std::uint32_t a, std::uint32_t b) {
  a = Root(runs, a);
  b = Root(runs, b);
  if (a < b) runs[b].parent = a;
  else if (b < a) runs[a].parent = b;
}

// Appends the runs of one row. Eight bytes at a time are tested for any on
// pixel: a byte is above 125 when its top bit is set or its low seven bits
// plus 2 reach 128 (no carry can cross into the next byte).
void FindRuns(const std::uint8_t* row, int width, int y, std::vector<Run>& runs) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kTwo = 0x0202020202020202ull,
                          kTop = 0x8080808080808080ull;
  int x = 0;
  while (x < width) {
    // Skip off pixels, eight at a time while possible.
    while (x + 8 <= width) {
      std::uint64_t v;
      std::memcpy(&v, row + x, 8);
      if (((v | ((v & kLow7) + kTwo)) & kTop) != 0) break;
      x += 8;
    }
    while (x < width && !On(row[x])) ++x;
    if (x >= width) break;
    const int start = x;
    while (x + 8 <= width) {
      std::uint64_t v;
      std::memcpy(&v, row + x, 8);
      if (((v | ((v & kLow7) + kTwo)) & kTop) != kTop) break;
      x += 8;
    }
    while (x < width && On(row[x])) ++x;
    runs.push_back(Run{y, start, x, static_cast<std::uint32_t>(runs.size())});
  }
}

}  // namespace
}  // namespace pixalto

using namespace pixalto;

unsigned long CDataHandler::AnalysisPotEx(const unsigned char* plane, int width, int height,
                                          unsigned char* visited, int row, int column,
                                          unsigned char* output) {
  if (!plane || !visited || !output || width < 1 || height < 1) return 0;
  if (!SeedOk(plane, width, height, visited, row, column)) return 0;
  const long long w = width, h = height;
  try {
    // Pixels are marked when pushed, so each is pushed at most once.
    std::vector<long long> stack;
    const long long seed = static_cast<long long>(row) * w + column;
    Take(plane, visited, output, seed);
    stack.push_back(seed);
    unsigned long taken = 1;
    while (!stack.empty()) {
      const long long i = stack.back();
      stack.pop_back();
      const long long x = i % w, y = i / w;
      for (int dir = 0; dir < 4; ++dir) {
        const long long n = Neighbour(i, x, y, dir, w, h);
        if (Take(plane, visited, output, n)) {
          ++taken;
          stack.push_back(n);
        }
      }
    }
    return taken;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

unsigned long CDataHandler::AnalysisPot(const unsigned char* plane, int width, int height,
                                        unsigned char* visited, int row, int column,
                                        unsigned char* output) {
  if (!plane || !visited || !output || width < 1 || height < 1) return 0;
  if (!SeedOk(plane, width, height, visited, row, column)) return 0;
  const long long w = width, h = height;
  try {
    // The frames of the recursion: a pixel and the next neighbour to try,
    // packed as pixel * 4 + direction.
    std::vector<long long> frames;
    const long long seed = static_cast<long long>(row) * w + column;
    Take(plane, visited, output, seed);
    frames.push_back(seed * 4);
    unsigned long taken = 1;
    while (!frames.empty()) {
      long long& top = frames.back();
      const long long i = top >> 2;
      const int dir = static_cast<int>(top & 3);
      if (dir == 3) frames.pop_back();
      else ++top;
      const long long n = Neighbour(i, i % w, i / w, dir, w, h);
      if (Take(plane, visited, output, n)) {
        ++taken;
        frames.push_back(n * 4);
      }
    }
    return taken;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

namespace pixalto {
namespace {

// The runs of on pixels of a plane, touching runs joined into regions.
// After Label every run's root is the first run of its region in row order.
struct RegionLabels {
  std::vector<Run> runs;
  std::vector<std::size_t> rowStart;  // first run of each row; one more entry at the end

  bool Label(const unsigned char* plane, int width, int height) {
    const std::size_t w = static_cast<std::size_t>(width);
    rowStart.assign(static_cast<std::size_t>(height) + 1, 0);
    for (int y = 0; y < height; ++y) {
      rowStart[y] = runs.size();
      FindRuns(plane + w * y, width, y, runs);
      if (runs.size() >= 0xFFFFFFFFull) return false;
      // Runs of this row touching runs of the row above (sharing a column).
      if (y == 0) continue;
      std::size_t a = rowStart[y - 1], b = rowStart[y];
      const std::size_t aEnd = rowStart[y], bEnd = runs.size();
      while (a < aEnd && b < bEnd) {
        if (runs[a].x0 < runs[b].x1 && runs[b].x0 < runs[a].x1)
          Join(runs, static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
        if (runs[a].x1 < runs[b].x1) ++a;
        else ++b;
      }
    }
    rowStart[height] = runs.size();
    for (std::size_t i = 0; i < runs.size(); ++i) runs[i].parent = Root(runs, static_cast<std::uint32_t>(i));
    return true;
  }

  // The first root in row order with the strictly greatest score.
  std::uint32_t Best(const std::vector<unsigned long long>& score) const {
    std::uint32_t best = 0;
    for (std::size_t i = 1; i < runs.size(); ++i)
      if (runs[i].parent == i && score[i] > score[best]) best = static_cast<std::uint32_t>(i);
    return best;
  }

  // Keeps the region of root `keep`, clears everything between its runs.
  void KeepOnly(unsigned char* plane, int width, int height, std::uint32_t keep) const {
    const std::size_t w = static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y) {
      unsigned char* row = plane + w * y;
      std::size_t kept = 0;
      for (std::size_t i = rowStart[y]; i < rowStart[y + 1]; ++i) {
        if (runs[i].parent != keep) continue;
        std::memset(row + kept, 0, static_cast<std::size_t>(runs[i].x0) - kept);
        kept = static_cast<std::size_t>(runs[i].x1);
      }
      std::memset(row + kept, 0, w - kept);
    }
  }
};

}  // namespace
}  // namespace pixalto

int CDataHandler::RegionAnalysis(unsigned char* plane, int width, int height) {
  if (!plane || width < 1 || height < 1) return 0;
  try {
    RegionLabels labels;
    if (!labels.Label(plane, width, height)) return 0;
    if (labels.runs.empty()) return 1;  // no on pixel: the plane stays as it is
    // Region sizes at their roots; the first root in row order with the
    // strictly greatest size is the region a row-order search keeps.
    std::vector<unsigned long long> size(labels.runs.size(), 0);
    for (const Run& r : labels.runs) size[r.parent] += static_cast<unsigned long long>(r.x1 - r.x0);
    labels.KeepOnly(plane, width, height, labels.Best(size));
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int CDataHandler::RegionAnalysisByArea(unsigned char* plane, int width, int height,
                                       unsigned long long* enclosed, unsigned long long* pixels) {
  if (!plane || width < 1 || height < 1) return 0;
  if (enclosed) *enclosed = 0;
  if (pixels) *pixels = 0;
  try {
    RegionLabels labels;
    if (!labels.Label(plane, width, height)) return 0;
    if (labels.runs.empty()) return 1;
    // Runs come row by row and left to right within a row, so a region's
    // span in a row runs from its first run's start there to its last
    // run's end; the spans are added as each region enters a new row.
    const std::size_t n = labels.runs.size();
    std::vector<unsigned long long> rowArea(n, 0), size(n, 0);
    std::vector<int> spanAt(n, -1), spanStart(n, 0), spanEnd(n, 0);
    const auto close = [&](std::vector<unsigned long long>& area) {
      for (std::size_t i = 0; i < n; ++i)
        if (spanAt[i] >= 0) area[i] += static_cast<unsigned long long>(spanEnd[i] - spanStart[i]);
    };
    for (const Run& r : labels.runs) {
      const std::uint32_t root = r.parent;
      size[root] += static_cast<unsigned long long>(r.x1 - r.x0);
      if (spanAt[root] != r.y) {
        if (spanAt[root] >= 0) rowArea[root] += static_cast<unsigned long long>(spanEnd[root] - spanStart[root]);
        spanAt[root] = r.y;
        spanStart[root] = r.x0;
      }
      spanEnd[root] = r.x1;
    }
    close(rowArea);
    // The same down the columns: a page running off the picture's left or
    // right edge shows three sides, which enclose the page column by column
    // but not row by row. A region's label per pixel, then each column top
    // to bottom.
    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<std::uint32_t> label(w * static_cast<std::size_t>(height), 0);
    for (std::size_t i = 0; i < n; ++i) {
      const Run& r = labels.runs[i];
      std::uint32_t* at = label.data() + w * static_cast<std::size_t>(r.y);
      std::fill(at + r.x0, at + r.x1, r.parent + 1);
    }
    std::vector<unsigned long long> columnArea(n, 0);
    std::fill(spanAt.begin(), spanAt.end(), -1);
    for (int x = 0; x < width; ++x)
      for (int y = 0; y < height; ++y) {
        const std::uint32_t l = label[w * static_cast<std::size_t>(y) + static_cast<std::size_t>(x)];
        if (!l) continue;
        const std::uint32_t root = l - 1;
        if (spanAt[root] != x) {
          if (spanAt[root] >= 0) columnArea[root] += static_cast<unsigned long long>(spanEnd[root] - spanStart[root]);
          spanAt[root] = x;
          spanStart[root] = y;
        }
        spanEnd[root] = y + 1;
      }
    close(columnArea);
    std::vector<unsigned long long> area(n);
    for (std::size_t i = 0; i < n; ++i) area[i] = std::max(rowArea[i], columnArea[i]);
    const std::uint32_t best = labels.Best(area);
    if (enclosed) *enclosed = area[best];
    if (pixels) *pixels = size[best];
    labels.KeepOnly(plane, width, height, best);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int CDataHandler::FillRegion(const unsigned char* source, int width, int height,
                             unsigned char* mask) {
  if (!source || !mask || width < 1 || height < 1) return 0;
  const std::size_t w = static_cast<std::size_t>(width);
  ScratchBuffer<int> first(w), last(w);
  if (!first || !last) return 0;
  long long copied = 0;
  // Rows: from the first to the last byte above 125.
  for (int y = 0; y < height; ++y) {
    unsigned char* m = mask + w * y;
    int lo = 0, hi = width - 1;
    while (lo < width && !On(m[lo])) ++lo;
    if (lo == width) continue;
    while (!On(m[hi])) --hi;
    std::memcpy(m + lo, source + w * y + lo, static_cast<std::size_t>(hi - lo + 1));
    copied += hi - lo + 1;
  }
  // Columns of the updated mask: find each column's ends in one row-order
  // pass, then copy row by row.
  for (std::size_t x = 0; x < w; ++x) {
    first[x] = height;
    last[x] = -1;
  }
  for (int y = 0; y < height; ++y) {
    const unsigned char* m = mask + w * y;
    for (std::size_t x = 0; x < w; ++x)
      if (On(m[x])) {
        if (first[x] == height) first[x] = y;
        last[x] = y;
      }
  }
  for (std::size_t x = 0; x < w; ++x)
    if (last[x] >= 0) copied += last[x] - first[x] + 1;
  for (int y = 0; y < height; ++y) {
    unsigned char* m = mask + w * y;
    const unsigned char* s = source + w * y;
    for (std::size_t x = 0; x < w; ++x)
      if (first[x] <= y && y <= last[x]) m[x] = s[x];
  }
  return copied > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(copied);
}
