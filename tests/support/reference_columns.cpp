// The column layout read from the document tree, rule by rule.

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "page/column_layout.h"
#include "tests/support/reference_analysis.h"

namespace slotscope::testing {
namespace {

using Document = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// Without XML_PARSE_HUGE the tree builder stops the whole document at 256 open elements; the
// parser's own events, which the analysis reads, have no such limit.
Document Parse(std::u16string_view page) {
    const std::string input = EncodeUtf8WithoutNul(page);
    return {htmlReadMemory(input.data(), static_cast<int>(input.size()), nullptr, "UTF-8",
                           HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                               HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | XML_PARSE_HUGE),
            &xmlFreeDoc};
}

std::string Name(const xmlNode* node) {
    return reinterpret_cast<const char*>(node->name);
}

bool IsElement(const xmlNode* node, const char* name = nullptr) {
    return node->type == XML_ELEMENT_NODE && (name == nullptr || Name(node) == name);
}

std::string Value(const xmlAttr* attribute) {
    xmlChar* value = xmlNodeListGetString(attribute->doc, attribute->children, 1);
    std::string text = value == nullptr ? "" : reinterpret_cast<const char*>(value);
    xmlFree(value);
    return text;
}

std::string Attribute(const xmlNode* node, const char* name) {
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        if (reinterpret_cast<const char*>(a->name) == std::string(name)) {
            return Value(a);
        }
    }
    return {};
}

bool HasAttribute(const xmlNode* node, const char* name) {
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        if (reinterpret_cast<const char*>(a->name) == std::string(name)) {
            return true;
        }
    }
    return false;
}

// The first element, in document order, whose id is exactly `id`.
const xmlNode* FirstWithId(const xmlNode* node, const std::string& id) {
    for (; node != nullptr; node = node->next) {
        if (IsElement(node) && HasAttribute(node, "id") && Attribute(node, "id") == id) {
            return node;
        }
        if (const xmlNode* found = FirstWithId(node->children, id)) {
            return found;
        }
    }
    return nullptr;
}

void Entries(const xmlNode* parent, std::vector<const xmlNode*>& entries) {
    for (const xmlNode* child = parent->children; child != nullptr; child = child->next) {
        if (!IsElement(child)) {
            continue;
        }
        const std::string name = Name(child);
        if (name == "table" || name == "tbody" || name == "thead" || name == "tfoot" ||
            name == "tr" || name == "td") {
            Entries(child, entries);
        } else {
            entries.push_back(child);
        }
    }
}

void Text(const xmlNode* node, std::string& text) {
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_TEXT_NODE && child->content != nullptr) {
            text += reinterpret_cast<const char*>(child->content);
        } else if (IsElement(child) && !IsElement(child, "script") && !IsElement(child, "style")) {
            Text(child, text);
        }
    }
}

bool IsSpaceAt(const std::string& text, std::size_t at, std::size_t& length) {
    for (const std::string space : {" ", "\t", "\n", "\f", "\r", "\u00A0", "\u3000"}) {
        if (text.compare(at, space.size(), space) == 0) {
            length = space.size();
            return true;
        }
    }
    return false;
}

std::string Trimmed(std::string text) {
    std::size_t length = 0;
    while (!text.empty() && IsSpaceAt(text, 0, length)) {
        text.erase(0, length);
    }
    bool trimmed = true;
    while (trimmed) {
        trimmed = false;
        for (const std::string space : {" ", "\t", "\n", "\f", "\r", "\u00A0", "\u3000"}) {
            if (text.size() >= space.size() && text.ends_with(space)) {
                text.resize(text.size() - space.size());
                trimmed = true;
            }
        }
    }
    return text;
}

bool ShowsSign(const xmlNode* element) {
    if (HasAttribute(element, "data-tuiguang") || HasAttribute(element, "data-landurl")) {
        return true;
    }
    std::string classes = Attribute(element, "class");
    for (char& c : classes) {
        if (c == '\t' || c == '\n' || c == '\f' || c == '\r') {
            c = ' ';
        }
    }
    for (std::size_t at = 0; at <= classes.size();) {
        const std::size_t end = std::min(classes.find(' ', at), classes.size());
        const std::string token = classes.substr(at, end - at);
        if (token.starts_with("ec-tuiguang") || token.starts_with("ec_tuiguang")) {
            return true;
        }
        at = end + 1;
    }
    if (IsElement(element, "a")) {
        const std::string href = Attribute(element, "href");
        if (href.find("baidu.com/baidu.php?") != std::string::npos ||
            href.starts_with("/baidu.php?")) {
            return true;
        }
    }
    if (IsElement(element, "a") || IsElement(element, "span")) {
        std::string text;
        Text(element, text);
        text = Trimmed(text);
        if (text == "广告" || text == "商业推广") {
            return true;
        }
    }
    return false;
}

bool IsPaid(const xmlNode* element) {
    if (ShowsSign(element)) {
        return true;
    }
    for (const xmlNode* child = element->children; child != nullptr; child = child->next) {
        if (IsElement(child) && IsPaid(child)) {
            return true;
        }
    }
    return false;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The listing's text as lines: a new line around every element a browser draws on lines of its
// own.
void TextInLines(const xmlNode* node, std::string& text) {
    static const std::set<std::string> kLineElements = {
        "address", "article", "aside", "blockquote", "br", "dd",      "div",   "dl", "dt",
        "footer",  "form",    "h1",    "h2",         "h3", "h4",      "h5",    "h6", "header",
        "hr",      "li",      "nav",   "ol",         "p",  "section", "table", "td", "tr"};
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_TEXT_NODE && child->content != nullptr) {
            text += reinterpret_cast<const char*>(child->content);
        } else if (IsElement(child) && !IsElement(child, "script") && !IsElement(child, "style")) {
            const bool line = kLineElements.contains(reinterpret_cast<const char*>(child->name));
            text += line ? "\n" : "";
            TextInLines(child, text);
            text += line ? "\n" : "";
        }
    }
}

bool AttributesHold(const xmlNode* element, const std::string& website) {
    for (const xmlAttr* a = element->properties; a != nullptr; a = a->next) {
        if (HoldsHost<char>(Lower(Value(a)), website)) {
            return true;
        }
    }
    for (const xmlNode* child = element->children; child != nullptr; child = child->next) {
        if (IsElement(child) && AttributesHold(child, website)) {
            return true;
        }
    }
    return false;
}

bool Holds(const xmlNode* listing, const std::string& website) {
    if (website.empty()) {
        return true;  // in any listing, as the columns read it
    }
    std::string text;
    TextInLines(listing, text);
    return HoldsHost<char>(Lower(text), website) || AttributesHold(listing, website);
}

std::vector<const xmlNode*> PaidListings(const xmlDoc* document, const char* columnId) {
    std::vector<const xmlNode*> listings;
    const xmlNode* column = FirstWithId(document->children, columnId);
    if (column == nullptr) {
        return listings;
    }
    std::vector<const xmlNode*> entries;
    Entries(column, entries);
    for (const xmlNode* entry : entries) {
        if (IsPaid(entry)) {
            listings.push_back(entry);
        }
    }
    return listings;
}

std::u16string Number(std::size_t n) {
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
}

}  // namespace

PositionLabels ReferenceColumnLayout(std::u16string_view page, std::u16string_view website) {
    const Document document = Parse(page);
    if (document == nullptr) {
        return {u"左侧无推广位", u"右无推广位"};
    }
    const std::string site = Lower(EncodeUtf8WithoutNul(website));
    const auto left = PaidListings(document.get(), "content_left");
    const auto right = PaidListings(document.get(), "content_right");
    for (std::size_t k = 0; k < left.size(); ++k) {
        if (Holds(left[k], site)) {
            return {u"左" + Number(k + 1), right.empty() ? u"右无推广位" : u"右无"};
        }
    }
    PositionLabels labels{left.empty() ? u"左侧无推广位" : u"左无",
                          right.empty() ? u"右无推广位" : u"右无"};
    for (std::size_t j = 0; j < right.size(); ++j) {
        if (Holds(right[j], site)) {
            labels.right = u"右" + Number(j + 1);
            break;
        }
    }
    return labels;
}

ColumnListings ReferenceColumnListings(std::u16string_view page) {
    const Document document = Parse(page);
    if (document == nullptr) {
        return {};
    }
    return {static_cast<int>(PaidListings(document.get(), "content_left").size()),
            static_cast<int>(PaidListings(document.get(), "content_right").size())};
}

}  // namespace slotscope::testing
