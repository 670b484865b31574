#include "page/list_policy.h"

#include <cstring>
#include <utility>

#include "page/markup_space.h"
#include "page/side_labels.h"

namespace slotscope {
namespace {

// Whether an attribute's name is `name`, without measuring it first.
template <std::size_t Size>
bool NameIs(const SaxChar* attribute, const char (&name)[Size]) {
    return std::memcmp(attribute, name, Size) == 0;
}

}  // namespace

bool IdIs(SaxAttributes attributes, std::string_view id) {
    for (SaxAttributes at = attributes; at != nullptr && *at != nullptr; at += 2) {
        if (NameIs(at[0], "id") && View(at[1]) == id) {
            return true;
        }
    }
    return false;
}

bool HasClassToken(SaxAttributes attributes, std::string_view token) {
    for (SaxAttributes at = attributes; at != nullptr && *at != nullptr; at += 2) {
        if (!NameIs(at[0], "class")) {
            continue;
        }
        const std::string_view classes = View(at[1]);
        for (std::size_t found = classes.find(token); found != std::string_view::npos;
             found = classes.find(token, found + 1)) {
            const std::size_t end = found + token.size();
            if ((found == 0 || IsMarkupSpace(classes[found - 1])) &&
                (end == classes.size() || IsMarkupSpace(classes[end]))) {
                return true;
            }
        }
    }
    return false;
}

void DesktopPage::Begin(SaxAttributes attributes, std::size_t depth, ColumnReader& left,
                        ColumnReader& right) {
    for (SaxAttributes at = attributes; at != nullptr && *at != nullptr; at += 2) {
        if (!NameIs(at[0], "id")) {
            continue;
        }
        const std::string_view id = View(at[1]);
        if (id == kLeftColumnId && !left.seen()) {
            left.Begin(depth);
        } else if (id == kRightColumnId && !right.seen()) {
            right.Begin(depth);
        }
    }
}

LayoutReading DesktopPage::Reading(const ColumnReader& left, const ColumnReader& right,
                                   const TitleWatch& title) {
    Block first = left.all();
    Block second = right.all();
    return {left.seen() || right.seen() || title.found(),
            SideLabels(kColumnSides, first, second),
            {first.sites(), second.sites()},
            {std::move(first.ads), std::move(second.ads)}};
}

void PhonePage::Begin(SaxAttributes attributes, std::size_t depth, ColumnReader& byId,
                      ColumnReader& byClass) {
    if (!byId.seen() && IdIs(attributes, kListName)) {
        byId.Begin(depth);
    }
    // Once the list by id is found, the one by class no longer matters.
    if (!byClass.seen() && !byId.seen() && HasClassToken(attributes, kListName)) {
        byClass.Begin(depth);
    }
}

LayoutReading PhonePage::Reading(const ColumnReader& byId, const ColumnReader& byClass,
                                 const TitleWatch& title) {
    const ColumnReader& list = byId.seen() ? byId : byClass;
    return {list.seen() || title.found(),
            SideLabels(kPhoneSides, list.top(), list.bottom()),
            {list.top().sites(), list.bottom().sites()},
            {list.top().ads, list.bottom().ads}};
}

}  // namespace slotscope
