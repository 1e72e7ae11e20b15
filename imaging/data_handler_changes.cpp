// Frame-to-frame change detectors. The caller keeps the previous frame's grey
// plane (a NewMem block) with its size and passes them on every call; each
// accepted call compares the current frame with it and then hands the
// current frame's plane over in its place. Handing the freshly computed
// plane over (instead of copying it into a second block) means the state is
// never left half-replaced by a failed allocation.

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"
#include "imaging/scratch_buffer.h"

#include "contracts/fundara/memory.h"

#include <algorithm>
#include <cstdint>

namespace pixalto {
namespace {

// Bytes whose absolute difference exceeds `limit`.
PIXALTO_CLONES std::size_t CountChanged(const std::uint8_t* a, const std::uint8_t* b,
                                        std::size_t count, int limit) {
  std::size_t changed = 0;
  // Blocks keep the per-block count small enough for narrow lanes.
  constexpr std::size_t kBlock = 4096;
  for (std::size_t start = 0; start < count; start += kBlock) {
    const std::size_t end = std::min(count, start + kBlock);
    unsigned block = 0;
    for (std::size_t i = start; i < end; ++i) {
      const int d = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
      block += d > limit;
    }
    changed += block;
  }
  return changed;
}

// Compares `current` (count bytes, width x height) with the previous plane
// and hands `current` over as the new previous plane. Returns the number of
// changed bytes (0 without a previous plane of the same size).
std::size_t CompareAndKeep(ScratchBuffer<std::uint8_t>& current, std::size_t count, int width,
                           int height, int limit, unsigned char*& previous, int& previousWidth,
                           int& previousHeight) {
  std::size_t changed = 0;
  if (previous && previousWidth == width && previousHeight == height)
    changed = CountChanged(previous, current.get(), count, limit);
  DelMem(previous);
  previous = current.release();
  previousWidth = width;
  previousHeight = height;
  return changed;
}

// The grey plane (padded rows) of the frame, compared with the previous
// one at the given limit. -1 for bad arguments or a failed allocation.
long long PlainChanges(const unsigned char* data, int width, int height, int depth, int limit,
                       unsigned char*& previous, int& previousWidth, int& previousHeight) {
  if (!data || width < 1 || height < 1 || !PictureDepth(depth)) return -1;
  const std::size_t count = PictureSize(width, height, 8);
  ScratchBuffer<std::uint8_t> current(count);
  if (!current) return -1;
  CDataHandler dh;
  dh.ColourToGreyScale(data, width, height, depth, nullptr, current.get(), 1);
  return static_cast<long long>(
      CompareAndKeep(current, count, width, height, limit, previous, previousWidth, previousHeight));
}

}  // namespace
}  // namespace pixalto

using namespace pixalto;

int CDataHandler::DynamicDistinguish(const unsigned char* data, int width, int height, int depth,
                                     unsigned char*& previous, int& previousWidth,
                                     int& previousHeight) {
  const long long changed =
      PlainChanges(data, width, height, depth, 30, previous, previousWidth, previousHeight);
  if (changed < 0) return 0;
  return changed > static_cast<long long>(width) * height / 4 ? 1 : 0;
}

int CDataHandler::StaticDistinguish(const unsigned char* data, int width, int height, int depth,
                                    unsigned char*& previous, int& previousWidth,
                                    int& previousHeight) {
  const long long changed =
      PlainChanges(data, width, height, depth, 30, previous, previousWidth, previousHeight);
  if (changed < 0) return 0;
  return changed < static_cast<long long>(width) * height / 10 ? 1 : 0;
}

int CDataHandler::DynamicPointNum(const unsigned char* data, int width, int height, int depth,
                                  unsigned char*& previous, int& previousWidth,
                                  int& previousHeight) {
  const long long changed =
      PlainChanges(data, width, height, depth, 40, previous, previousWidth, previousHeight);
  return changed > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(changed);
}

int CDataHandler::DynamicPointNumEx(const unsigned char* data, int width, int height, int depth,
                                    const tagRGBQUAD* palette, unsigned char*& previous,
                                    int& previousWidth, int& previousHeight) {
  if (!data || width < 1 || height < 1 || !PictureDepth(depth)) return -1;
  // Reduce the long side to about 320 pixels (or enlarge a smaller picture).
  float k = static_cast<float>(std::max(width, height)) / 320.0f;
  if (!(k > 0)) k = 1;
  unsigned char* reduced = nullptr;
  int w = 0, h = 0;
  if (!ZoomData(data, width, height, depth, 1.0f / k, reduced, w, h)) return -1;
  ScratchBuffer<std::uint8_t> grey(PlaneBytes(w, h));
  bool ok = static_cast<bool>(grey) &&
            ColourToGreyScale(reduced, w, h, depth, palette, grey.get(), 0) == 1;
  DelMem(reduced);
  // Edges, smoothed: what stays of the page's lines and letters. A plane
  // thinner than the edge kernel has no inner pixels; the mean clears it.
  if (ok && w >= 3 && h >= 3) ok = EdgeDetectionSobelEx(grey.get(), w, h) == 1;
  ok = ok && MedianFilter(grey.get(), w, h) == 1;
  if (!ok) return -1;
  const std::size_t changed =
      CompareAndKeep(grey, PlaneBytes(w, h), w, h, 100, previous, previousWidth, previousHeight);
  return changed > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(changed);
}
