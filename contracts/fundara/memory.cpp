#include "contracts/fundara/memory.h"

#include <cstdlib>

unsigned char* NewMem(std::size_t size) {
  if (size == 0) return nullptr;
  return static_cast<unsigned char*>(std::malloc(size));
}

void DelMem(void* block) { std::free(block); }
