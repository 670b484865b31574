#include "history/report_markup.h"

#include <cassert>

namespace slotscope {

std::string HtmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

namespace markup {

Hole Text(std::string_view text) {
    return Hole(HtmlEscape(text));
}

Hole Attribute(std::string_view text) {
    return Hole(HtmlEscape(text));
}

Hole Number(long long number) {
    return Hole(std::to_string(number));
}

Hole Markup(Html markup) {
    return Hole(std::move(markup.text_));
}

namespace {

const Hole* Given(std::initializer_list<std::pair<std::string_view, Hole>> holes,
                  std::string_view name) {
    for (const auto& [holeName, value] : holes) {
        if (holeName == name) {
            return &value;
        }
    }
    return nullptr;
}

}  // namespace

// A template is a view of a constant, as small as a pointer and a size.
// cppcheck-suppress passedByValue
Html Fill(Template page, std::initializer_list<std::pair<std::string_view, Hole>> holes) {
    std::string filled;
    std::string_view rest = page.text();
    for (std::size_t open = rest.find("{{"); open != std::string_view::npos;
         open = rest.find("{{")) {
        const std::size_t close = rest.find("}}", open);
        assert(close != std::string_view::npos);
        const Hole* value = Given(holes, rest.substr(open + 2, close - open - 2));
        assert(value != nullptr);
        filled += rest.substr(0, open);
        filled += value != nullptr ? value->text() : std::string();
        rest.remove_prefix(close + 2);
    }
    filled += rest;
    return Html(std::move(filled));
}

void Writer::Write(const Html& part) {
    buffer_ += part.text();
    if (buffer_.size() >= kPiece) {
        Flush();
    }
}

bool Writer::Flush() {
    written_ = written_ && (buffer_.empty() || out_(buffer_));
    buffer_.clear();
    return written_;
}

}  // namespace markup
}  // namespace slotscope
