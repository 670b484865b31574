#pragma once

// The HTML parser's events as the page's readers take them. libxml2 itself stays in
// html_sax.cpp: its strings are UTF-8 bytes as unsigned char, and a callback's context is the
// parser, which knows its reader.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

namespace slotscope {

using SaxChar = unsigned char;
// An element's attributes as the parser gives them: name, value, name, value and so on, then a
// null name; null where the element has none. A value is null for an attribute written without
// one.
using SaxAttributes = const SaxChar**;

inline std::string_view View(const SaxChar* text) {
    return text == nullptr ? std::string_view{}
                           : std::string_view(reinterpret_cast<const char*>(text));
}

// What every reader of the parser's callbacks shares: the depth of the open elements, stopping
// the parser, and the error budget that gives up a page whose markup is broken beyond any real
// page.
class SaxReader {
  public:
    bool unreadable() const { return unreadable_; }
    // What a callback threw, or memory the parser could not get: thrown once the parser is done,
    // never through its C frames.
    const std::exception_ptr& failure() const { return failure_; }

    // The reader of the parser that calls back with `context`.
    static SaxReader& Of(void* context);

    // Charges an error of the parser to the budget; memory running out fails the read.
    void OnParserError(void* context, bool outOfMemory);

    void Fail(void* context, std::exception_ptr failure);

  protected:
    SaxReader() = default;

    template <typename Reader>
    static Reader& From(void* context) {
        return static_cast<Reader&>(Of(context));
    }

    void Halt(void* context);

    std::size_t depth_ = 0;
    bool halted_ = false;

  private:
    // The parser's work on misplaced end tags grows with the number of open elements. Every
    // parser error is charged the open elements plus a fixed share, and a page that spends the
    // budget is not read further: a real page spends well under a thousandth of it.
    static constexpr std::uint64_t kErrorBudget = std::uint64_t{1} << 27;
    static constexpr std::uint64_t kErrorBaseCost = 256;

    std::uint64_t budget_ = kErrorBudget;
    bool unreadable_ = false;
    std::exception_ptr failure_;
};

// A callback as the parser calls it: an exception stops the parser and waits in the reader
// instead of unwinding through the parser's C frames.
template <auto Callback>
struct Guarded;

template <typename... Arguments, void (*Callback)(void*, Arguments...)>
struct Guarded<Callback> {
    static void Call(void* context, Arguments... arguments) noexcept {
        try {
            Callback(context, arguments...);
        } catch (...) {
            SaxReader::Of(context).Fail(context, std::current_exception());
        }
    }
};

// The events a reader takes: an element's start (its name in lower case, its attributes), its
// end, and text, as UTF-8 bytes.
struct SaxCallbacks {
    void (*start)(void* context, const SaxChar* name, SaxAttributes attributes) = nullptr;
    void (*end)(void* context, const SaxChar* name) = nullptr;
    void (*text)(void* context, const SaxChar* text, int length) = nullptr;
};

// A reader's callbacks, guarded.
template <typename Reader>
SaxCallbacks CallbacksOf() {
    return {&Guarded<&Reader::OnStart>::Call, &Guarded<&Reader::OnEnd>::Call,
            &Guarded<&Reader::OnText>::Call};
}

// Runs the HTML parser over `input` (as EncodeUtf8WithoutNul makes it) with the callbacks, for
// `reader`. False when the page is too large for the parser; what a callback threw, and memory
// running out (as std::bad_alloc), are thrown once the parser is done.
bool ParseHtml(std::string_view input, const SaxCallbacks& callbacks, SaxReader& reader);

}  // namespace slotscope
