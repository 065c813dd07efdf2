// Java's object serialization stream, read far enough for the install
// definition that IzPack's compiler writes with ObjectOutputStream: class
// descriptors, handles and back-references, strings, arrays, enums, and the
// block data and objects of classes that write their own (ArrayList,
// HashSet, Hashtable and Properties, Date). Objects are kept by index, so a
// stream that refers to itself reads like any other. Bounded in nesting
// depth and in the number of items, and never reads past its input.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace preflight {

// A field's value or an array's element: a primitive, null, or an object.
struct JavaValue {
  enum Kind : uint8_t { kNull, kBoolean, kInteger, kReal, kObject };
  Kind kind = kNull;
  int64_t integer = 0;  // booleans, chars and every integer type
  double real = 0;
  size_t object = 0;    // index into JavaStream::objects
};

struct JavaField {
  std::string name;
  JavaValue value;
};

struct JavaObject {
  enum Kind : uint8_t { kInstance, kString, kArray, kEnum, kClass };
  Kind kind = kInstance;
  std::string className;    // of an instance, an array ("[I"), an enum or a class
  std::string text;         // a string's value (UTF-8), an enum's constant
  std::vector<JavaField> fields;      // an instance's fields, its superclasses' first
  std::vector<JavaValue> elements;    // an array's elements; the objects a class wrote itself
  std::vector<uint8_t> blockData;     // the primitive data a class wrote itself
};

struct JavaStream {
  std::vector<JavaObject> objects;
  JavaValue root;  // the stream's first content
};

constexpr int kMaxDepth = 64;
constexpr size_t kMaxItems = 1000000;

// Reads the first object of the stream; false with *problem when the bytes
// are not such a stream, or exceed its bounds.
bool ReadObjectStream(const uint8_t* bytes, size_t size, JavaStream* stream,
                      std::string* problem);

// The instance's field of that name, or null.
const JavaValue* FieldOf(const JavaObject& object, const char* name);
// A field as a string (null when it is null or no string), or a number.
const std::string* StringField(const JavaStream& stream, const JavaObject& object,
                               const char* name);
bool IntegerField(const JavaObject& object, const char* name, int64_t* value);

}  // namespace preflight
