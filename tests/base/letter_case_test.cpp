#include "base/letter_case.h"

#include <gtest/gtest.h>

#include <string_view>

#include "base/text_codec.h"

namespace slotscope {
namespace {

TEST(LetterCase, ComparesAsWindowsFileNames) {
    const struct {
        std::u16string_view a;
        std::u16string_view b;
        bool same;
    } cases[] = {
        {u"bj", u"BJ", true},       {u"Ärger", u"äRGER", true},
        {u"ＢＪ", u"ｂｊ", true},   {u"Москва", u"МОСКВА", true},
        {u"Σοφία", u"ΣΟΦΊΑ", true}, {u"北京", u"北京", true},
        {u"", u"", true},           {u"straße", u"STRASSE", false},  // one letter never becomes two
        {u"bj", u"bj2", false},     {u"北京", u"南京", false},
        {u"a", u"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameIgnoringCase(c.a, c.b), c.same) << EncodeUtf8(c.a) << " " << EncodeUtf8(c.b);
        EXPECT_EQ(SameIgnoringCase(c.b, c.a), c.same) << EncodeUtf8(c.b) << " " << EncodeUtf8(c.a);
    }
}

}  // namespace
}  // namespace slotscope
