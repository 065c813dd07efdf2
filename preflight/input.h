// Outside input for setup-preflight's readers: bytes in memory, or a file read
// at offsets, so that a large jar is never read whole. Every reader takes its
// bounds from here: nothing is read past size.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace preflight {

struct Input {
  const uint8_t* bytes = nullptr;  // the whole input in memory, or null for file
  FILE* file = nullptr;
  uint64_t size = 0;
};

Input FromMemory(const uint8_t* bytes, size_t size);
inline Input FromMemory(const std::vector<uint8_t>& bytes) {
  return FromMemory(bytes.data(), bytes.size());
}

// count bytes from offset into out; false when they are not all there.
bool ReadAt(const Input& input, uint64_t offset, void* out, size_t count);

// Little-endian numbers, as zip archives and PE files hold them.
inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

// The number as text, with a unit for sizes of a megabyte and more.
std::string SizeText(uint64_t bytes);

}  // namespace preflight
