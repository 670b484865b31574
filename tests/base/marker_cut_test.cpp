#include "base/marker_cut.h"

#include <gtest/gtest.h>

namespace slotscope {
namespace {

struct CutCase {
    const char* name;
    std::u16string_view content;
    std::u16string_view start;
    std::u16string_view end;
    int cutType;
    std::u16string_view expected;
};

class CutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutTest, Cuts) {
    const CutCase& c = GetParam();
    EXPECT_EQ(strCut(c.content, c.start, c.end, c.cutType), c.expected);
    if (c.cutType == 2) {
        EXPECT_EQ(CutBetween(c.content, c.start, c.end), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CutTest,
    ::testing::Values(
        // The worked examples.
        CutCase{"DropMarkers", u"ab<x>cd</x>ef", u"<x>", u"</x>", 2, u"cd"},
        CutCase{"KeepMarkers", u"ab<x>cd</x>ef", u"<x>", u"</x>", 1, u"<x>cd</x>"},
        // Only the first start marker and the next end marker count.
        CutCase{"FirstPair", u"<x>1</x><x>2</x>", u"<x>", u"</x>", 2, u"1"},
        CutCase{"NothingBetween", u"<x></x>", u"<x>", u"</x>", 2, u""},
        CutCase{"EndOnlyBeforeStart", u"</x>ab<x>cd", u"<x>", u"</x>", 2, u""},
        CutCase{"EndMissing", u"ab<x>cd", u"<x>", u"</x>", 2, u""},
        CutCase{"StartAtVeryEnd", u"ab<x>", u"<x>", u"</x>", 2, u""},
        // Mode 2 with the start marker absent cuts from position length(start), 1-based.
        CutCase{"StartAbsent", u"0123456789</x>", u"<x>", u"</x>", 2, u"23456789"},
        CutCase{"StartAbsentEndTooEarly", u"0</x>", u"<x>", u"</x>", 2, u""},
        CutCase{"StartAbsentEndAtCutStart", u"01</x>", u"<x>", u"</x>", 2, u""},
        CutCase{"StartInOtherCase", u"ab<X>cd</x>", u"<x>", u"</x>", 2, u"<X>cd"},
        CutCase{"EndInOtherCase", u"ab<x>cd</X>", u"<x>", u"</x>", 2, u""},
        // Mode 1: the not-found text, and the end-marker-length arithmetic when the end is
        // missing.
        CutCase{"KeepStartAbsent", u"abc</x>", u"<x>", u"</x>", 1, kCutNotFoundText},
        CutCase{"KeepEndMissingShortOfLength", u"a<x>bcdef", u"<x>", u"</x>", 1, u"<x"},
        CutCase{"KeepEndMissingPastLength", u"abcdef<x>gh", u"<x>", u"</x>", 1, u""},
        CutCase{"KeepEndBeforeStart", u"</x>ab<x>", u"<x>", u"</x>", 1, u""},
        CutCase{"KeepNothingBetween", u"a<x></x>b", u"<x>", u"</x>", 1, u"<x></x>"},
        // Other cut types and empty markers give an empty text.
        CutCase{"CutType0", u"ab<x>cd</x>ef", u"<x>", u"</x>", 0, u""},
        CutCase{"CutType3", u"ab<x>cd</x>ef", u"<x>", u"</x>", 3, u""},
        CutCase{"EmptyStart", u"ab<x>cd</x>ef", u"", u"</x>", 2, u""},
        CutCase{"EmptyEnd", u"ab<x>cd</x>ef", u"<x>", u"", 1, u""},
        CutCase{"EmptyContent", u"", u"<x>", u"</x>", 2, u""},
        CutCase{"EmptyContentKeep", u"", u"<x>", u"</x>", 1, kCutNotFoundText},
        CutCase{"ChineseText", u"前<x>中文内容</x>后", u"<x>", u"</x>", 2, u"中文内容"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace slotscope
