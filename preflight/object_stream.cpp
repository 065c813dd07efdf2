// The grammar of Java's own document of its object serialization, section 6.4,
// for protocol version 2 (the only one that ObjectOutputStream has written
// since Java 1.2).
#include "preflight/object_stream.h"

#include <string.h>

namespace preflight {

namespace {

enum : uint8_t {
  kNullTag = 0x70, kReference = 0x71, kClassDescTag = 0x72, kObjectTag = 0x73,
  kStringTag = 0x74, kArrayTag = 0x75, kClassTag = 0x76, kBlockData = 0x77,
  kEndBlockData = 0x78, kReset = 0x79, kBlockDataLong = 0x7A, kException = 0x7B,
  kLongString = 0x7C, kProxyClassDesc = 0x7D, kEnumTag = 0x7E,
};
enum : uint8_t { kWriteMethod = 0x01, kSerializable = 0x02, kExternalizable = 0x04,
                 kBlockDataMode = 0x08 };
constexpr uint32_t kFirstHandle = 0x7E0000;

struct FieldDesc {
  char type;
  std::string name;
};

struct ClassDesc {
  std::string name;
  uint8_t flags = 0;
  std::vector<FieldDesc> fields;
  long super = -1;  // index into descs, or -1
};

struct Handle {
  bool desc;     // a class descriptor, or an object
  size_t index;  // into descs or objects; a descriptor still being read is there too
};

struct Reader {
  const uint8_t* bytes = nullptr;
  size_t size = 0, at = 0;
  size_t items = 0;
  std::string problem;
  std::vector<ClassDesc> descs;
  std::vector<Handle> handles;
  JavaStream* stream = nullptr;

  bool Fail(const std::string& why) {
    if (problem.empty()) problem = why + " at byte " + std::to_string(at);
    return false;
  }
  bool Take(size_t count, const uint8_t** out) {
    if (size - at < count) return Fail("the stream ends early");
    *out = bytes + at;
    at += count;
    return true;
  }
  bool U8(uint8_t* value) {
    const uint8_t* p;
    if (!Take(1, &p)) return false;
    *value = p[0];
    return true;
  }
  bool Be(size_t count, uint64_t* value) {
    const uint8_t* p;
    if (!Take(count, &p)) return false;
    *value = 0;
    for (size_t i = 0; i < count; ++i) *value = *value << 8 | p[i];
    return true;
  }
  bool Counted() {
    if (++items > kMaxItems) return Fail("more than " + std::to_string(kMaxItems) + " items");
    return true;
  }
  size_t NewHandle(bool desc, size_t index) {
    handles.push_back(Handle{desc, index});
    return handles.size() - 1;
  }

  bool Utf(size_t length, std::string* text);
  bool ShortUtf(std::string* text) {
    uint64_t length;
    return Be(2, &length) && Utf(static_cast<size_t>(length), text);
  }
  bool ClassDescriptor(int depth, long* index);
  bool NewClassDescriptor(uint8_t tag, int depth, long* index);
  bool Content(int depth, JavaValue* value);
  bool StringObject(uint8_t tag, JavaValue* value);
  bool Annotation(int depth, JavaObject* into);
  bool Value(char type, int depth, JavaValue* value);
  bool NewObject(int depth, JavaValue* value);
  bool NewArray(int depth, JavaValue* value);
  bool Reference(JavaValue* value, long* desc);
  size_t AddObject(JavaObject::Kind kind, const std::string& className) {
    stream->objects.push_back(JavaObject{});
    stream->objects.back().kind = kind;
    stream->objects.back().className = className;
    return stream->objects.size() - 1;
  }
};

void AppendUtf8(std::string* text, uint32_t code) {
  if (code < 0x80) {
    *text += static_cast<char>(code);
  } else if (code < 0x800) {
    *text += static_cast<char>(0xC0 | code >> 6);
    *text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *text += static_cast<char>(0xE0 | code >> 12);
    *text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    *text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *text += static_cast<char>(0xF0 | code >> 18);
    *text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    *text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    *text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Java's modified UTF-8 (NUL as two bytes, characters beyond the BMP as two
// surrogates of three bytes each) into standard UTF-8; a lone surrogate
// becomes U+FFFD.
bool Reader::Utf(size_t length, std::string* text) {
  const uint8_t* p;
  if (!Take(length, &p)) return false;
  std::vector<uint16_t> units;
  for (size_t i = 0; i < length;) {
    uint8_t b = p[i];
    if (b < 0x80) {
      units.push_back(b);
      i += 1;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < length && (p[i + 1] & 0xC0) == 0x80) {
      units.push_back(static_cast<uint16_t>((b & 0x1F) << 6 | (p[i + 1] & 0x3F)));
      i += 2;
    } else if ((b & 0xF0) == 0xE0 && i + 2 < length && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80) {
      units.push_back(static_cast<uint16_t>((b & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 |
                                            (p[i + 2] & 0x3F)));
      i += 3;
    } else {
      return Fail("a string that is not modified UTF-8");
    }
  }
  text->clear();
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t unit = units[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else if (unit >= 0xD800 && unit < 0xE000) {
      AppendUtf8(text, 0xFFFD);
    } else {
      AppendUtf8(text, unit);
    }
  }
  return true;
}

bool Reader::Reference(JavaValue* value, long* desc) {
  uint64_t handle;
  if (!Be(4, &handle)) return false;
  if (handle < kFirstHandle || handle - kFirstHandle >= handles.size())
    return Fail("a reference to a handle not given yet");
  const Handle& target = handles[handle - kFirstHandle];
  if (target.desc) {
    if (desc == nullptr) return Fail("a class descriptor where an object belongs");
    *desc = static_cast<long>(target.index);
    return true;
  }
  if (value == nullptr) return Fail("an object where a class descriptor belongs");
  value->kind = JavaValue::kObject;
  value->object = target.index;
  return true;
}

bool Reader::NewClassDescriptor(uint8_t tag, int depth, long* index) {
  descs.push_back(ClassDesc{});
  const size_t self = descs.size() - 1;
  *index = static_cast<long>(self);
  if (tag == kProxyClassDesc) {
    NewHandle(true, self);
    uint64_t count;
    if (!Be(4, &count)) return false;
    if (count > size - at) return Fail("more interfaces than bytes");
    for (uint64_t i = 0; i < count; ++i) {
      std::string name;
      if (!ShortUtf(&name)) return false;
    }
    descs[self].name = "(proxy)";
    descs[self].flags = kSerializable;
  } else {
    std::string name;
    uint64_t uid, flags, count;
    if (!ShortUtf(&name) || !Be(8, &uid)) return false;
    descs[self].name = name;
    NewHandle(true, self);
    if (!Be(1, &flags) || !Be(2, &count)) return false;
    descs[self].flags = static_cast<uint8_t>(flags);
    for (uint64_t i = 0; i < count; ++i) {
      uint8_t type;
      std::string fieldName;
      if (!Counted() || !U8(&type) || !ShortUtf(&fieldName)) return false;
      if (strchr("BCDFIJSZ[L", type) == nullptr || type == 0) return Fail("a field of no known type");
      if (type == '[' || type == 'L') {
        JavaValue className;
        if (!Content(depth + 1, &className)) return false;
        if (className.kind != JavaValue::kObject ||
            stream->objects[className.object].kind != JavaObject::kString)
          return Fail("a field's class name that is no string");
      }
      descs[self].fields.push_back(FieldDesc{static_cast<char>(type), fieldName});
    }
  }
  JavaObject ignored;
  long super = -1;
  if (!Annotation(depth + 1, &ignored) || !ClassDescriptor(depth + 1, &super)) return false;
  descs[self].super = super;
  return true;
}

bool Reader::ClassDescriptor(int depth, long* index) {
  if (depth > kMaxDepth) return Fail("nested deeper than " + std::to_string(kMaxDepth));
  uint8_t tag;
  if (!U8(&tag)) return false;
  switch (tag) {
    case kNullTag:
      *index = -1;
      return true;
    case kReference:
      return Reference(nullptr, index);
    case kClassDescTag:
    case kProxyClassDesc:
      return NewClassDescriptor(tag, depth, index);
    default:
      return Fail("no class descriptor where one belongs");
  }
}

// Objects and block data until the end of a class's own data.
bool Reader::Annotation(int depth, JavaObject* into) {
  for (;;) {
    if (!Counted()) return false;
    if (at >= size) return Fail("the stream ends inside a class's own data");
    const uint8_t tag = bytes[at];
    if (tag == kEndBlockData) {
      ++at;
      return true;
    }
    if (tag == kBlockData || tag == kBlockDataLong) {
      ++at;
      uint64_t length;
      const uint8_t* data;
      if (!Be(tag == kBlockData ? 1 : 4, &length) || !Take(static_cast<size_t>(length), &data))
        return false;
      into->blockData.insert(into->blockData.end(), data, data + length);
      continue;
    }
    JavaValue value;
    if (!Content(depth + 1, &value)) return false;
    into->elements.push_back(value);
  }
}

bool Reader::Value(char type, int depth, JavaValue* value) {
  if (!Counted()) return false;
  uint64_t raw;
  switch (type) {
    case 'Z':
    case 'B':
      if (!Be(1, &raw)) return false;
      value->kind = type == 'Z' ? JavaValue::kBoolean : JavaValue::kInteger;
      value->integer = type == 'B' ? static_cast<int8_t>(raw) : (raw != 0);
      return true;
    case 'C':
    case 'S':
      if (!Be(2, &raw)) return false;
      value->kind = JavaValue::kInteger;
      value->integer = type == 'S' ? static_cast<int16_t>(raw) : static_cast<int64_t>(raw);
      return true;
    case 'I':
    case 'F':
      if (!Be(4, &raw)) return false;
      if (type == 'I') {
        value->kind = JavaValue::kInteger;
        value->integer = static_cast<int32_t>(raw);
      } else {
        uint32_t bits = static_cast<uint32_t>(raw);
        float real;
        memcpy(&real, &bits, sizeof real);
        value->kind = JavaValue::kReal;
        value->real = real;
      }
      return true;
    case 'J':
    case 'D':
      if (!Be(8, &raw)) return false;
      if (type == 'J') {
        value->kind = JavaValue::kInteger;
        value->integer = static_cast<int64_t>(raw);
      } else {
        memcpy(&value->real, &raw, sizeof value->real);
        value->kind = JavaValue::kReal;
      }
      return true;
    default:
      return Content(depth + 1, value);
  }
}

bool Reader::NewObject(int depth, JavaValue* value) {
  long desc;
  if (!ClassDescriptor(depth + 1, &desc)) return false;
  if (desc < 0) return Fail("an object without a class");
  const size_t self = AddObject(JavaObject::kInstance, descs[desc].name);
  NewHandle(false, self);
  value->kind = JavaValue::kObject;
  value->object = self;
  // The class hierarchy from the topmost serializable class down.
  std::vector<long> chain;
  for (long d = desc; d >= 0; d = descs[d].super) {
    if (chain.size() > static_cast<size_t>(kMaxDepth)) return Fail("a class hierarchy too deep");
    chain.insert(chain.begin(), d);
  }
  for (long d : chain) {
    const uint8_t flags = descs[d].flags;
    if ((flags & kExternalizable) != 0) {
      if ((flags & kBlockDataMode) == 0) return Fail("externalizable data of protocol version 1");
      JavaObject* object = &stream->objects[self];
      JavaObject data;
      if (!Annotation(depth + 1, &data)) return false;
      object = &stream->objects[self];
      object->elements.insert(object->elements.end(), data.elements.begin(), data.elements.end());
      object->blockData.insert(object->blockData.end(), data.blockData.begin(), data.blockData.end());
      continue;
    }
    const std::vector<FieldDesc> fields = descs[d].fields;
    for (const FieldDesc& field : fields) {
      JavaValue fieldValue;
      if (!Value(field.type, depth, &fieldValue)) return false;
      stream->objects[self].fields.push_back(JavaField{field.name, fieldValue});
    }
    if ((flags & kWriteMethod) != 0) {
      JavaObject data;
      if (!Annotation(depth + 1, &data)) return false;
      JavaObject& object = stream->objects[self];
      object.elements.insert(object.elements.end(), data.elements.begin(), data.elements.end());
      object.blockData.insert(object.blockData.end(), data.blockData.begin(), data.blockData.end());
    }
  }
  return true;
}

bool Reader::NewArray(int depth, JavaValue* value) {
  long desc;
  uint64_t length;
  if (!ClassDescriptor(depth + 1, &desc)) return false;
  if (desc < 0 || descs[desc].name.size() < 2 || descs[desc].name[0] != '[')
    return Fail("an array of no array class");
  const size_t self = AddObject(JavaObject::kArray, descs[desc].name);
  NewHandle(false, self);
  value->kind = JavaValue::kObject;
  value->object = self;
  if (!Be(4, &length)) return false;
  // Every element takes a byte at least: a length beyond the input is a lie.
  if (length > size - at) return Fail("an array longer than the stream");
  const char type = descs[desc].name[1];
  for (uint64_t i = 0; i < length; ++i) {
    JavaValue element;
    if (!Value(type, depth, &element)) return false;
    stream->objects[self].elements.push_back(element);
  }
  return true;
}

bool Reader::StringObject(uint8_t tag, JavaValue* value) {
  uint64_t length;
  if (!Be(tag == kStringTag ? 2 : 8, &length)) return false;
  if (length > size - at) return Fail("a string longer than the stream");
  const size_t self = AddObject(JavaObject::kString, "java.lang.String");
  NewHandle(false, self);
  std::string text;
  if (!Utf(static_cast<size_t>(length), &text)) return false;
  stream->objects[self].text = std::move(text);
  value->kind = JavaValue::kObject;
  value->object = self;
  return true;
}

bool Reader::Content(int depth, JavaValue* value) {
  if (depth > kMaxDepth) return Fail("nested deeper than " + std::to_string(kMaxDepth));
  if (!Counted()) return false;
  *value = JavaValue{};
  uint8_t tag;
  if (!U8(&tag)) return false;
  switch (tag) {
    case kNullTag:
      return true;
    case kReference:
      return Reference(value, nullptr);
    case kStringTag:
    case kLongString:
      return StringObject(tag, value);
    case kObjectTag:
      return NewObject(depth, value);
    case kArrayTag:
      return NewArray(depth, value);
    case kEnumTag: {
      long desc;
      if (!ClassDescriptor(depth + 1, &desc)) return false;
      const size_t self = AddObject(JavaObject::kEnum, desc >= 0 ? descs[desc].name : "");
      NewHandle(false, self);
      JavaValue name;
      if (!Content(depth + 1, &name)) return false;
      if (name.kind != JavaValue::kObject || stream->objects[name.object].kind != JavaObject::kString)
        return Fail("an enum constant without a name");
      stream->objects[self].text = stream->objects[name.object].text;
      value->kind = JavaValue::kObject;
      value->object = self;
      return true;
    }
    case kClassTag: {
      long desc;
      if (!ClassDescriptor(depth + 1, &desc)) return false;
      const size_t self = AddObject(JavaObject::kClass, desc >= 0 ? descs[desc].name : "");
      NewHandle(false, self);
      value->kind = JavaValue::kObject;
      value->object = self;
      return true;
    }
    case kClassDescTag:
    case kProxyClassDesc: {
      long desc;
      return NewClassDescriptor(tag, depth, &desc);
    }
    case kReset:
      handles.clear();
      return Content(depth + 1, value);
    case kException:
      return Fail("an exception written into the stream");
    default:
      return Fail("an unknown tag " + std::to_string(tag));
  }
}

}  // namespace

bool ReadObjectStream(const uint8_t* bytes, size_t size, JavaStream* stream,
                      std::string* problem) {
  *stream = JavaStream{};
  Reader reader;
  reader.bytes = bytes;
  reader.size = size;
  reader.stream = stream;
  uint64_t magic, version;
  if (!reader.Be(2, &magic) || !reader.Be(2, &version) || magic != 0xACED || version != 5) {
    *problem = "not a Java serialization stream";
    return false;
  }
  if (!reader.Content(0, &stream->root)) {
    *problem = reader.problem;
    return false;
  }
  return true;
}

const JavaValue* FieldOf(const JavaObject& object, const char* name) {
  // The class's own field wins over a superclass's of the same name.
  for (size_t i = object.fields.size(); i-- > 0;)
    if (object.fields[i].name == name) return &object.fields[i].value;
  return nullptr;
}

const std::string* StringField(const JavaStream& stream, const JavaObject& object,
                               const char* name) {
  const JavaValue* value = FieldOf(object, name);
  if (value == nullptr || value->kind != JavaValue::kObject) return nullptr;
  const JavaObject& target = stream.objects[value->object];
  return target.kind == JavaObject::kString ? &target.text : nullptr;
}

bool IntegerField(const JavaObject& object, const char* name, int64_t* value) {
  const JavaValue* field = FieldOf(object, name);
  if (field == nullptr || (field->kind != JavaValue::kInteger && field->kind != JavaValue::kBoolean))
    return false;
  *value = field->integer;
  return true;
}

}  // namespace preflight
