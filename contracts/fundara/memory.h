#pragma once
// Byte blocks for picture buffers that cross a library boundary: every
// block from NewMem is released with DelMem, whichever library does it.

#include <cstddef>

// A block of `size` bytes, or nullptr when it cannot be had (or size is 0).
unsigned char* NewMem(std::size_t size);
// Releases a block from NewMem; nullptr is ignored.
void DelMem(void* block);
