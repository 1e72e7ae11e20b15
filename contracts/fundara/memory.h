#pragma once
// Byte blocks for picture buffers that cross a library boundary: every
// block from NewMem is released with DelMem, whichever library does it.
//
// Camera frames allocate and release blocks of the same few large sizes
// many times a second. Fresh large blocks come straight from the system as
// new pages, which costs more than the pixel work on them; so DelMem keeps a
// few recently released large blocks and NewMem hands them out again when
// the size fits. The blocks are ordinary malloc blocks either way.
//
// Builds with AddressSanitizer or ThreadSanitizer keep no blocks: a kept
// block would hide a use after DelMem, an overrun into a recycled block and
// a race on a buffer handed from one thread to another, so there every
// NewMem is a fresh allocation and every DelMem a free.

#include <cstddef>

// A block of `size` bytes (contents undefined), or nullptr when it cannot
// be had (or size is 0).
unsigned char* NewMem(std::size_t size);
// Releases a block from NewMem; nullptr is ignored.
void DelMem(void* block);
// Bytes held in released blocks kept for reuse (for tests and diagnostics).
std::size_t NewMemCachedBytes();
// Whether DelMem keeps blocks for reuse in this build.
bool NewMemKeepsBlocks();
