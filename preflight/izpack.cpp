#include "preflight/izpack.h"

#include <ctype.h>

#include <algorithm>

#include "preflight/object_stream.h"

namespace preflight {

namespace {

// The entry's serialized object, read whole.
bool ReadObject(const Input& jar, const Zip& zip, const std::string& name, JavaStream* stream,
                std::string* problem) {
  const ZipEntry* entry = FindEntry(zip, name);
  if (entry == nullptr) {
    *problem = "no " + name;
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!ReadEntry(jar, *entry, kMaxDefinitionBytes, &bytes, problem)) return false;
  if (!ReadObjectStream(bytes.data(), bytes.size(), stream, problem)) {
    *problem = name + " cannot be read: " + *problem;
    return false;
  }
  if (stream->root.kind != JavaValue::kObject) {
    *problem = name + " holds no object";
    return false;
  }
  return true;
}

std::optional<std::string> OptionalString(const JavaStream& stream, const JavaObject& object,
                                          const char* name) {
  const std::string* text = StringField(stream, object, name);
  return text == nullptr ? std::nullopt : std::optional<std::string>(*text);
}

void ReadInfo(const JavaStream& stream, InstallDefinition* d) {
  const JavaObject& info = stream.objects[stream.root.object];
  if (info.className != "com.izforge.izpack.api.data.Info") {
    d->problem = "resources/info holds a " + info.className + ", not IzPack's Info";
    return;
  }
  d->javaVersion = OptionalString(stream, info, "javaVersion");
  d->uninstallerPath = OptionalString(stream, info, "uninstallerPath");
  d->uninstallerPathKnown = FieldOf(info, "uninstallerPath") != nullptr;
  d->uninstallerCondition = OptionalString(stream, info, "uninstallerCondition");
  d->privilegedCondition = OptionalString(stream, info, "privilegedExecutionConditionID");
  d->rebootCondition = OptionalString(stream, info, "rebootActionConditionID");
  int64_t flag = 0;
  d->javaVersionStrict = IntegerField(info, "javaVersionStrict", &flag) && flag != 0;
  d->jdkRequired = IntegerField(info, "jdkRequired", &flag) && flag != 0;
  d->requirePrivileged = IntegerField(info, "requirePrivilegedExecution", &flag) && flag != 0;
  if (!IntegerField(info, "rebootAction", &d->rebootAction)) d->rebootAction = 0;
}

// The objects that a collection class wrote itself: an ArrayList's elements,
// a Hashtable's keys and values in turn.
const std::vector<JavaValue>* Written(const JavaStream& stream, const JavaValue& value) {
  if (value.kind != JavaValue::kObject) return nullptr;
  const JavaObject& object = stream.objects[value.object];
  return object.kind == JavaObject::kInstance ? &object.elements : nullptr;
}

// The objects that the collection in the entry wrote itself: null with
// *problem when the entry is there and holds none; null alone when the jar
// has no such entry.
const std::vector<JavaValue>* ReadCollection(const Input& jar, const Zip& zip, const char* name,
                                             const char* holds, JavaStream* stream,
                                             std::string* problem) {
  if (FindEntry(zip, name) == nullptr) return nullptr;
  if (!ReadObject(jar, zip, name, stream, problem)) return nullptr;
  const std::vector<JavaValue>* items = Written(*stream, stream->root);
  if (items == nullptr) *problem = std::string(name) + " holds no " + holds;
  return items;
}

void ReadListeners(const Input& jar, const Zip& zip, InstallDefinition* d) {
  JavaStream stream;
  const std::vector<JavaValue>* items =
      ReadCollection(jar, zip, "resources/customData", "list", &stream, &d->listenersProblem);
  if (items == nullptr) return;
  for (const JavaValue& item : *items) {
    if (item.kind != JavaValue::kObject) continue;
    const JavaObject& data = stream.objects[item.object];
    const std::string* name = StringField(stream, data, "listenerName");
    int64_t type = -1;
    IntegerField(data, "type", &type);
    if (name != nullptr) d->listeners.emplace_back(*name, type);
  }
}

void ReadVariables(const Input& jar, const Zip& zip, InstallDefinition* d) {
  JavaStream stream;
  const std::vector<JavaValue>* items =
      ReadCollection(jar, zip, "resources/vars", "properties", &stream, &d->variablesProblem);
  if (items == nullptr) return;
  // A Hashtable writes its keys and values in turn.
  for (size_t i = 0; i + 1 < items->size(); i += 2) {
    const JavaValue& key = (*items)[i];
    const JavaValue& value = (*items)[i + 1];
    if (key.kind != JavaValue::kObject || stream.objects[key.object].kind != JavaObject::kString)
      continue;
    d->variables[stream.objects[key.object].text] =
        value.kind == JavaValue::kObject ? stream.objects[value.object].text : "";
  }
}

}  // namespace

void ReadInstallDefinition(const Input& jar, const Zip& zip, InstallDefinition* definition) {
  *definition = InstallDefinition{};
  JavaStream stream;
  if (ReadObject(jar, zip, "resources/info", &stream, &definition->problem))
    ReadInfo(stream, definition);
  ReadListeners(jar, zip, definition);
  ReadVariables(jar, zip, definition);
}

std::vector<const ZipEntry*> ResourceVariants(const Zip& zip, const std::string& id) {
  const std::string base = "resources/" + id;
  std::vector<const ZipEntry*> found;
  for (const ZipEntry& entry : zip.entries) {
    const std::string& n = entry.name;
    if (n == base || (n.size() == base.size() + 4 && n.compare(0, base.size(), base) == 0 &&
                      n[base.size()] == '_' && islower(static_cast<unsigned char>(n[base.size() + 1])) &&
                      islower(static_cast<unsigned char>(n[base.size() + 2])) &&
                      islower(static_cast<unsigned char>(n[base.size() + 3]))))
      found.push_back(&entry);
  }
  return found;
}

bool IzPackVersion(const std::string& manifest, int (&version)[3], std::string* createdBy) {
  // Main attributes end at the first blank line; a line that begins with a
  // blank continues the one before.
  std::string value;
  bool inCreatedBy = false, found = false;
  size_t at = 0;
  while (at < manifest.size()) {
    size_t end = manifest.find_first_of("\r\n", at);
    if (end == std::string::npos) end = manifest.size();
    const std::string line = manifest.substr(at, end - at);
    at = end + (manifest.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (line.empty()) break;
    if (line[0] == ' ') {
      if (inCreatedBy) value += line.substr(1);
      continue;
    }
    inCreatedBy = line.compare(0, 12, "Created-By: ") == 0;
    if (inCreatedBy) {
      value = line.substr(12);
      found = true;
    }
  }
  *createdBy = value;
  if (!found || value.find("(IzPack)") == std::string::npos) return false;
  size_t position = 0;
  for (int part = 0; part < 3; ++part) {
    if (position >= value.size() || !isdigit(static_cast<unsigned char>(value[position])))
      return false;
    int number = 0;
    while (position < value.size() && isdigit(static_cast<unsigned char>(value[position])) &&
           number < 100000)
      number = number * 10 + (value[position++] - '0');
    version[part] = number;
    if (part < 2) {
      if (position >= value.size() || value[position] != '.') return false;
      ++position;
    }
  }
  return true;
}

bool JavaVersionAtLeast(const std::string& have, const std::string& want, bool* atLeast) {
  std::vector<long> parts[2];
  const std::string* texts[2] = {&have, &want};
  for (int side = 0; side < 2; ++side) {
    const std::string& text = *texts[side];
    for (size_t at = 0; at < text.size();) {
      if (!isdigit(static_cast<unsigned char>(text[at]))) {
        ++at;
        continue;
      }
      long number = 0;
      for (; at < text.size() && isdigit(static_cast<unsigned char>(text[at])); ++at) {
        number = number * 10 + (text[at] - '0');
        // Integer.parseInt fails beyond an int, and IzPack then refuses.
        if (number > 2147483647L) return false;
      }
      parts[side].push_back(number);
    }
    if (parts[side].empty()) return false;
  }
  const size_t length = std::min(parts[0].size(), parts[1].size());
  for (size_t i = 0; i < length; ++i) {
    if (parts[0][i] != parts[1][i]) {
      *atLeast = parts[0][i] > parts[1][i];
      return true;
    }
  }
  *atLeast = true;
  return true;
}

}  // namespace preflight
