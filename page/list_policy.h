#pragma once

// Where each kind of page keeps its lists of entries, when nothing later on it can matter, and
// what its lists read as. A page kind's reader (see column_layout.cpp) reads two lists side by
// side and asks its policy.

#include <cstddef>
#include <string_view>

#include "page/column_layout.h"
#include "page/column_reader.h"
#include "page/html_sax.h"
#include "page/paid_sign_match.h"
#include "page/title_watch.h"

namespace slotscope {

inline constexpr std::string_view kLeftColumnId = "content_left";
inline constexpr std::string_view kRightColumnId = "content_right";

// Whether an element's attributes give it the id `id`.
bool IdIs(SaxAttributes attributes, std::string_view id);

// Whether an element's class attribute holds the class `token`.
bool HasClassToken(SaxAttributes attributes, std::string_view token);

// The desktop page: its two columns, content_left and content_right.
struct DesktopPage {
    static constexpr bool kPhone = false;

    static const SignMatcher& Signs() { return SignMatcher::Desktop(); }

    // Begins the column the element starting at `depth` is, if it is one not yet seen.
    static void Begin(SaxAttributes attributes, std::size_t depth, ColumnReader& left,
                      ColumnReader& right);

    // Nothing after both columns can change the answer.
    static bool Done(const ColumnReader& left, const ColumnReader& right) {
        return left.closed() && right.closed();
    }

    static LayoutReading Reading(const ColumnReader& left, const ColumnReader& right,
                                 const TitleWatch& title);
};

// The phone page: one list, the first element whose id is "results" or, where there is none, the
// first with the class "results". Paid listings before its first unpaid entry are on top, the
// later ones at the bottom.
struct PhonePage {
    static constexpr bool kPhone = true;
    static constexpr std::string_view kListName = "results";

    static const SignMatcher& Signs() { return SignMatcher::Phone(); }

    static void Begin(SaxAttributes attributes, std::size_t depth, ColumnReader& byId,
                      ColumnReader& byClass);

    // The list by id decides, whatever follows it.
    static bool Done(const ColumnReader& byId, const ColumnReader& /*byClass*/) {
        return byId.closed();
    }

    static LayoutReading Reading(const ColumnReader& byId, const ColumnReader& byClass,
                                 const TitleWatch& title);
};

}  // namespace slotscope
