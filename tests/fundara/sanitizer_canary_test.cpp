// Canaries: faults planted on purpose, each run in a child process (a death
// test), that pass only when the sanitizer of this build reports them. They
// prove that the checks can fail, for instance that no block cache stands
// between a frame buffer's release and AddressSanitizer.
#include "contracts/fundara/memory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)

namespace {

constexpr std::size_t kFrame = 1920 * 1080 * 3;

// Reads through a pointer the compiler cannot prove anything about.
int ReadByte(const unsigned char* p, std::size_t at) {
  const unsigned char* volatile q = p;
  return q[at];
}

}  // namespace

TEST(SanitizerCanary, UseOfAReleasedFrameBufferIsReported) {
  struct Case {
    const char* name;
    std::size_t at;  // where the released or overrun buffer is read
    bool release;
  } cases[] = {
      {"use after DelMem", kFrame / 2, true},
      {"overrun past the end", kFrame + 7, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DEATH(
        {
          unsigned char* frame = NewMem(kFrame);
          if (c.release) DelMem(frame);
          const int value = ReadByte(frame, c.at);
          // Reached only when nothing was reported.
          std::fprintf(stderr, "read %d unnoticed\n", value);
          std::exit(0);
        },
        c.release ? "heap-use-after-free" : "heap-buffer-overflow");
  }
}

#endif
