#include "preflight/input.h"

#include <string.h>

namespace preflight {

Input FromMemory(const uint8_t* bytes, size_t size) {
  Input input;
  input.bytes = bytes;
  input.size = size;
  return input;
}

bool ReadAt(const Input& input, uint64_t offset, void* out, size_t count) {
  if (offset > input.size || count > input.size - offset) return false;
  if (count == 0) return true;
  if (input.bytes != nullptr) {
    memcpy(out, input.bytes + offset, count);
    return true;
  }
#ifdef _WIN32
  if (_fseeki64(input.file, static_cast<long long>(offset), SEEK_SET) != 0) return false;
#else
  if (fseeko(input.file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
#endif
  return fread(out, 1, count, input.file) == count;
}

std::string SizeText(uint64_t bytes) {
  if (bytes < 1024 * 1024) return std::to_string(bytes) + " bytes";
  return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

}  // namespace preflight
