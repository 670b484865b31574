// The page kinds' readers: two lists read side by side, and the title, as a page kind's policy
// (list_policy.h) places them; and the search for a desktop page's outline.

#include "page/column_layout.h"

#include <string>

#include "base/ascii.h"
#include "base/text_codec.h"
#include "page/column_reader.h"
#include "page/html_sax.h"
#include "page/list_policy.h"
#include "page/title_watch.h"
#include "page/website_search.h"

namespace slotscope {
namespace {

// Two lists of entries read side by side, and the page's title, as a kind of page places them:
// `Page` says where its lists begin, when nothing later can matter, and what they read as.
template <typename Page>
class ListReader final : public SaxReader {
  public:
    explicit ListReader(std::string_view lowerWebsite)
        : website_(lowerWebsite),
          first_(website_, Page::Signs()),
          second_(website_, Page::Signs()),
          title_(Page::kPhone) {}

    LayoutReading Reading() const { return Page::Reading(first_, second_, title_); }

    static void OnStart(void* context, const SaxChar* name, SaxAttributes attributes) {
        auto& reader = From<ListReader>(context);
        if (reader.halted_) {
            return;
        }
        const std::size_t depth = ++reader.depth_;
        const std::string_view element = View(name);
        for (ColumnReader* list : {&reader.first_, &reader.second_}) {
            if (list->open()) {
                list->OnStart(depth, element, attributes);
            }
        }
        reader.title_.OnStart(depth, element);
        Page::Begin(attributes, depth, reader.first_, reader.second_);
    }

    static void OnEnd(void* context, const SaxChar* /*name*/) {
        auto& reader = From<ListReader>(context);
        // A halted parser still closes the elements left open.
        if (reader.halted_ || reader.depth_ == 0) {
            return;
        }
        for (ColumnReader* list : {&reader.first_, &reader.second_}) {
            if (list->open()) {
                list->OnEnd(reader.depth_);
            }
        }
        reader.title_.OnEnd(reader.depth_);
        --reader.depth_;
        if (Page::Done(reader.first_, reader.second_)) {
            reader.Halt(context);
        }
    }

    static void OnText(void* context, const SaxChar* text, int length) {
        auto& reader = From<ListReader>(context);
        if (reader.halted_) {
            return;
        }
        const std::string_view chunk(reinterpret_cast<const char*>(text),
                                     static_cast<std::size_t>(length));
        for (ColumnReader* list : {&reader.first_, &reader.second_}) {
            if (list->open()) {
                list->OnText(chunk);
            }
        }
        reader.title_.OnText(chunk);
    }

  private:
    WebsiteSearch website_;
    ColumnReader first_;
    ColumnReader second_;
    TitleWatch title_;
};

using PageReader = ListReader<DesktopPage>;
using PhoneReader = ListReader<PhonePage>;

// Looks for the outline of a desktop result page: a column, or the search's own title.
class OutlineReader final : public SaxReader {
  public:
    bool found() const { return found_; }

    static void OnStart(void* context, const SaxChar* name, SaxAttributes attributes) {
        auto& reader = From<OutlineReader>(context);
        if (reader.halted_) {
            return;
        }
        ++reader.depth_;
        if (IdIs(attributes, kLeftColumnId) || IdIs(attributes, kRightColumnId)) {
            reader.Found(context);
            return;
        }
        reader.title_.OnStart(reader.depth_, View(name));
    }

    static void OnEnd(void* context, const SaxChar* /*name*/) {
        auto& reader = From<OutlineReader>(context);
        if (reader.halted_ || reader.depth_ == 0) {
            return;
        }
        if (reader.title_.OnEnd(reader.depth_)) {
            reader.Found(context);
            return;
        }
        --reader.depth_;
    }

    static void OnText(void* context, const SaxChar* text, int length) {
        auto& reader = From<OutlineReader>(context);
        if (!reader.halted_) {
            reader.title_.OnText(std::string_view(reinterpret_cast<const char*>(text),
                                                  static_cast<std::size_t>(length)));
        }
    }

  private:
    void Found(void* context) {
        found_ = true;
        Halt(context);
    }

    TitleWatch title_{false};
    bool found_ = false;
};

template <typename Reader>
std::optional<LayoutReading> ReadLayout(std::string_view input, std::u16string_view website) {
    const std::string lowerWebsite = ascii::Lowered(EncodeUtf8WithoutNul(website));
    Reader reader(lowerWebsite);
    if (!ParseHtml(input, CallbacksOf<Reader>(), reader) || reader.unreadable()) {
        return std::nullopt;
    }
    return reader.Reading();
}

}  // namespace

std::optional<LayoutReading> ReadColumnLayout(std::string_view input, std::u16string_view website) {
    return ReadLayout<PageReader>(input, website);
}

std::optional<LayoutReading> ReadPhoneLayout(std::string_view input, std::u16string_view website) {
    return ReadLayout<PhoneReader>(input, website);
}

std::optional<bool> HasResultOutline(std::u16string_view page) {
    // Only a page that names a column or the search can have either; others need no parse.
    if (page.find(u"content_left") == std::u16string_view::npos &&
        page.find(u"content_right") == std::u16string_view::npos &&
        page.find(u"百度搜索") == std::u16string_view::npos) {
        return false;
    }
    OutlineReader reader;
    if (!ParseHtml(EncodeUtf8WithoutNul(page), CallbacksOf<OutlineReader>(), reader)) {
        return std::nullopt;
    }
    if (reader.found()) {
        return true;
    }
    return reader.unreadable() ? std::nullopt : std::optional<bool>(false);
}

}  // namespace slotscope
