// IzPack's XML resources (RegistrySpec.xml, shortcutSpec.xml), parsed by
// RapidXml, whose parser recurses once per nested element: the nesting is
// measured first, and a document deeper than kMaxXmlDepth is not parsed.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

namespace preflight {

constexpr size_t kMaxXmlDepth = 256;

// An element: its name, its attributes and its text, and its children by
// index into XmlDocument::elements.
struct XmlElement {
  std::string name, text;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<size_t> children;
};

struct XmlDocument {
  std::vector<XmlElement> elements;  // the root first, when there is one
};

// The deepest nesting of elements in text, as a parser would meet it.
size_t XmlDepth(const std::string& text);

// False with *problem when the text is not well-formed XML, or too deep.
bool ParseXml(const std::string& text, XmlDocument* document, std::string* problem);

// The attribute's value, or null.
const std::string* Attribute(const XmlElement& element, const char* name);

}  // namespace preflight
