// Differential test: every leaf element and attribute value our Document holds equals libxml2's
// text for it after the rules our parser applies by design (control bytes dropped from text and
// turned into spaces in attributes). The documents are generated, well-formed and varied.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "xml/xml.h"

namespace vantrel::xml {
namespace {

struct Generator {
  std::mt19937 rng;
  int Pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
  std::string Name() {
    static const char* kNames[] = {"a", "item", "keyname", "x-y", "ns:tag", "value_2", "b"};
    return kNames[Pick(7)];
  }
  std::string Text(bool attribute) {
    static const char* kPieces[] = {"plain",  " ",      "&amp;", "&lt;",   "&gt;",
                                    "&quot;", "&apos;", "&#65;", "&#233;", "\t",
                                    "\n",     "x y",    "\xE9",  "1.5",    "&amp;lt;"};
    std::string out;
    for (int i = Pick(6); i > 0; --i) {
      std::string p = kPieces[Pick(15)];
      if (!attribute && (p == "&quot;" || p == "&apos;") && Pick(2)) p = p == "&quot;" ? "\"" : "'";
      out += p;
    }
    return out;
  }
  std::string Element(int depth) {
    const std::string name = Name();
    std::string out = "<" + name;
    std::vector<std::string> used;
    for (int i = Pick(3); i > 0; --i) {
      const std::string attr = "at" + std::to_string(i);
      out += " " + attr + "=\"" + Text(true) + "\"";
    }
    out += ">";
    if (depth > 3 || Pick(3) == 0) {
      out += Text(false);
    } else {
      for (int i = 1 + Pick(3); i > 0; --i) out += "\n  " + Element(depth + 1);
      out += "\n";
    }
    return out + "</" + name + ">";
  }
};

// libxml2 hands out UTF-8; the documents are Latin-1, as our values are.
std::string Collapse(const xmlChar* text, bool attribute) {
  std::string out;
  for (const xmlChar* p = text; p && *p; ++p) {
    unsigned char c = *p;
    if (c >= 0xC0 && p[1]) c = static_cast<unsigned char>(((c & 3) << 6) | (*++p & 0x3F));
    if (c >= 1 && c <= 13) {
      if (attribute) out += ' ';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// libxml2's tree in our record order: attributes, children, the element itself.
void Expect(xmlNodePtr node, const std::string& parent, std::vector<std::string>* out) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    std::string name = node->ns && node->ns->prefix
                           ? std::string(reinterpret_cast<const char*>(node->ns->prefix)) + ":"
                           : "";
    name += reinterpret_cast<const char*>(node->name);
    const std::string path = parent.empty() ? name : parent + "/" + name;
    for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) {
      out->push_back(path + "/xmlns:" + reinterpret_cast<const char*>(ns->prefix) + "=" +
                     reinterpret_cast<const char*>(ns->href));
    }
    for (xmlAttrPtr a = node->properties; a; a = a->next) {
      xmlChar* v = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
      out->push_back(path + "/" + reinterpret_cast<const char*>(a->name) + "=" + Collapse(v, true));
      xmlFree(v);
    }
    bool leaf = true;
    for (xmlNodePtr c = node->children; c; c = c->next) leaf = leaf && c->type != XML_ELEMENT_NODE;
    Expect(node->children, path, out);
    if (leaf) {
      xmlChar* v = xmlNodeGetContent(node);
      out->push_back(path + "=" + Collapse(v, false));
      xmlFree(v);
    } else {
      out->push_back(path + "=(inner)");
    }
  }
}

TEST(LibXml2Differential, LeafValuesAndAttributesAgree) {
  Generator gen{std::mt19937(20261210)};
  for (int doc = 0; doc < 300; ++doc) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<root xmlns:ns=\"urn:x\">" +
        gen.Element(1) + "\n" + gen.Element(1) + "</root>";
    xmlDocPtr tree = xmlReadMemory(text.data(), static_cast<int>(text.size()), "d.xml", nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(tree, nullptr) << text;
    std::vector<std::string> expected;
    Expect(xmlDocGetRootElement(tree), "", &expected);
    xmlFreeDoc(tree);
    ASSERT_EQ(LoadText(text, {.quiet = true}), 0);
    std::vector<std::string> ours = test::Records();
    ASSERT_EQ(ours.size(), expected.size()) << text << "\n"
                                            << testing::PrintToString(ours) << "\n"
                                            << testing::PrintToString(expected);
    for (std::size_t i = 0; i < ours.size(); ++i) {
      if (expected[i].ends_with("=(inner)")) {
        // Elements with children: only blank indentation is left as their text.
        const std::string path = expected[i].substr(0, expected[i].size() - 7);
        ASSERT_EQ(ours[i].substr(0, path.size()), path) << text;
        EXPECT_EQ(ours[i].find_first_not_of(' ', path.size()), std::string::npos) << ours[i];
      } else {
        EXPECT_EQ(ours[i], expected[i]) << text;
      }
    }
  }
  xmlCleanupParser();
}

}  // namespace
}  // namespace vantrel::xml
