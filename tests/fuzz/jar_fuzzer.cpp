// Feeds arbitrary bytes to setup-preflight's readers as an installer jar:
// the zip directory, every entry inflated up to a bound, the install
// definition, each entry as XML, as a class file and as a PE file. Checks
// what must hold for any input: an entry read whole is no longer than its
// bound, and a definition that reads names no more listeners than the
// stream's bound allows.
#include <stdint.h>
#include <stdlib.h>

#include "preflight/binaries.h"
#include "preflight/izpack.h"
#include "preflight/object_stream.h"
#include "preflight/xml.h"
#include "preflight/zip.h"

using namespace preflight;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Input input = FromMemory(data, size);
  Zip zip;
  std::string problem;
  if (!ReadZip(input, &zip, &problem)) {
    if (problem.empty()) abort();
    return 0;
  }
  constexpr size_t kBound = 1 << 20;
  for (const ZipEntry& entry : zip.entries) {
    std::vector<uint8_t> bytes;
    NameLeavesArchive(entry.name);
    if (!ReadEntry(input, entry, kBound, &bytes, &problem)) continue;
    if (bytes.size() > kBound) abort();
    XmlDocument document;
    ParseXml(std::string(bytes.begin(), bytes.end()), &document, &problem);
    std::vector<std::string> strings;
    ReadClassStrings(bytes, &strings, &problem);
    PeFile pe;
    ReadPe(FromMemory(bytes), &pe, &problem);
  }
  InstallDefinition definition;
  ReadInstallDefinition(input, zip, &definition);
  if (definition.listeners.size() > kMaxItems) abort();
  ResourceVariants(zip, "RegistrySpec.xml");
  return 0;
}
