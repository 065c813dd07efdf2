#include "preflight/xml.h"

#include <string.h>

#include <rapidxml/rapidxml.hpp>

namespace preflight {

namespace {

// Skips from at past the first end marker; false when there is none.
bool SkipPast(const std::string& text, size_t* at, const char* end) {
  const size_t found = text.find(end, *at);
  if (found == std::string::npos) return false;
  *at = found + strlen(end);
  return true;
}

void Copy(const rapidxml::xml_node<>* node, XmlDocument* document, size_t depth) {
  const size_t self = document->elements.size();
  document->elements.push_back(XmlElement{});
  document->elements[self].name.assign(node->name(), node->name_size());
  for (const rapidxml::xml_attribute<>* a = node->first_attribute(); a; a = a->next_attribute())
    document->elements[self].attributes.emplace_back(std::string(a->name(), a->name_size()),
                                                     std::string(a->value(), a->value_size()));
  for (const rapidxml::xml_node<>* child = node->first_node(); child; child = child->next_sibling()) {
    if (child->type() == rapidxml::node_element && depth < kMaxXmlDepth) {
      document->elements[self].children.push_back(document->elements.size());
      Copy(child, document, depth + 1);
    } else if (child->type() == rapidxml::node_data || child->type() == rapidxml::node_cdata) {
      document->elements[self].text.append(child->value(), child->value_size());
    }
  }
}

}  // namespace

size_t XmlDepth(const std::string& text) {
  size_t depth = 0, deepest = 0;
  for (size_t at = 0; (at = text.find('<', at)) != std::string::npos;) {
    if (text.compare(at, 4, "<!--") == 0) {
      if (!SkipPast(text, &at, "-->")) break;
    } else if (text.compare(at, 9, "<![CDATA[") == 0) {
      if (!SkipPast(text, &at, "]]>")) break;
    } else if (text.compare(at, 2, "<?") == 0) {
      if (!SkipPast(text, &at, "?>")) break;
    } else if (text.compare(at, 2, "<!") == 0 || text.compare(at, 2, "</") == 0) {
      if (text.compare(at, 2, "</") == 0 && depth > 0) --depth;
      if (!SkipPast(text, &at, ">")) break;
    } else {
      // A start tag: to its ">", past quoted attribute values.
      char quote = 0;
      size_t end = at + 1;
      for (; end < text.size(); ++end) {
        const char c = text[end];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (end >= text.size()) break;
      if (text[end - 1] != '/' && ++depth > deepest) deepest = depth;
      at = end + 1;
    }
  }
  return deepest;
}

bool ParseXml(const std::string& text, XmlDocument* document, std::string* problem) {
  document->elements.clear();
  if (XmlDepth(text) > kMaxXmlDepth) {
    *problem = "its elements nest deeper than " + std::to_string(kMaxXmlDepth);
    return false;
  }
  // RapidXml parses in place, into a terminated copy of its own.
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  rapidxml::xml_document<> parsed;
  try {
    parsed.parse<rapidxml::parse_default>(buffer.data());
  } catch (const rapidxml::parse_error& error) {
    *problem = std::string("it is not well-formed XML (") + error.what() + ")";
    return false;
  }
  const rapidxml::xml_node<>* root = parsed.first_node();
  while (root != nullptr && root->type() != rapidxml::node_element) root = root->next_sibling();
  if (root == nullptr) {
    *problem = "it holds no element";
    return false;
  }
  Copy(root, document, 1);
  return true;
}

const std::string* Attribute(const XmlElement& element, const char* name) {
  for (const auto& [key, value] : element.attributes)
    if (key == name) return &value;
  return nullptr;
}

}  // namespace preflight
