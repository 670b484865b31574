#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace slotscope {

// Text for HTML, in an element or an attribute value: & < > " ' as character references.
std::string HtmlEscape(std::string_view text);

// The report's markup, made so that no text read at run time reaches the page unescaped: the
// page's own markup is written once, in templates that are constants of the program, with named
// holes ({{name}}); a value goes into a hole as text, escaped, or as markup a template made.
namespace markup {

class Hole;

// A template of the page's own markup: a constant known when the program is built, never text
// read at run time.
class Template final {
  public:
    // Implicit, so that a template is written as a literal where it is filled.
    consteval Template(const char* text) : text_(text) {}  // NOLINT(google-explicit-constructor)
    std::string_view text() const { return text_; }

  private:
    std::string_view text_;
};

// Markup fit to write as it is: made from templates, or by the charts, which escape their texts.
class Html final {
  public:
    Html() = default;
    // Markup made elsewhere that escapes every text it takes: the charts'.
    static Html Made(std::string markup) { return Html(std::move(markup)); }
    const std::string& text() const { return text_; }
    Html& operator+=(const Html& more) {
        text_ += more.text_;
        return *this;
    }

  private:
    friend Html Fill(Template page, std::initializer_list<std::pair<std::string_view, Hole>> holes);
    friend Hole Markup(Html markup);
    explicit Html(std::string markup) : text_(std::move(markup)) {}
    std::string text_;
};

// What fills a hole, as the page holds it.
class Hole final {
  public:
    const std::string& text() const { return text_; }

  private:
    friend Hole Text(std::string_view text);
    friend Hole Attribute(std::string_view text);
    friend Hole Number(long long number);
    friend Hole Markup(Html markup);
    explicit Hole(std::string text) : text_(std::move(text)) {}
    std::string text_;
};

// Text in an element, escaped as HtmlEscape does.
Hole Text(std::string_view text);
// Text in an attribute value between quotes, escaped as HtmlEscape does.
Hole Attribute(std::string_view text);
// A whole number in decimals.
Hole Number(long long number);
// Markup, as it is.
Hole Markup(Html markup);

// `page` with each of its holes filled by the value of that name in `holes`: every hole the
// template names is given.
Html Fill(Template page, std::initializer_list<std::pair<std::string_view, Hole>> holes = {});

// The page's markup handed on to `out` in pieces of about 64 KiB, as it is written.
class Writer final {
  public:
    explicit Writer(const std::function<bool(std::string_view)>& out) : out_(out) {}
    void Write(const Html& part);
    // Hands on what is left; false once `out` took no more.
    bool Flush();
    bool written() const { return written_; }

  private:
    static constexpr std::size_t kPiece = std::size_t{64} * 1024;
    const std::function<bool(std::string_view)>& out_;
    std::string buffer_;
    bool written_ = true;
};

}  // namespace markup
}  // namespace slotscope
