// Feeds arbitrary bytes to the Java serialization reader, and checks what
// must hold for any stream it reads: every object index it hands out lies
// inside the stream's table, and the table stays within its bound.
#include <stdint.h>
#include <stdlib.h>

#include "preflight/object_stream.h"

using namespace preflight;

static void CheckValue(const JavaStream& stream, const JavaValue& value) {
  if (value.kind == JavaValue::kObject && value.object >= stream.objects.size()) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JavaStream stream;
  std::string problem;
  if (!ReadObjectStream(data, size, &stream, &problem)) {
    if (problem.empty()) abort();
    return 0;
  }
  if (stream.objects.size() > kMaxItems) abort();
  CheckValue(stream, stream.root);
  for (const JavaObject& object : stream.objects) {
    for (const JavaField& field : object.fields) CheckValue(stream, field.value);
    for (const JavaValue& element : object.elements) CheckValue(stream, element);
  }
  return 0;
}
