// AnalyzeResultPage: the labels are always one of the six forms with a listing number in range,
// and the one-pass analysis agrees with the plain reference reading (for the column layout, a
// walk over the parser's document tree); a page with listings passes IsResultPage; the run's
// one-pass check says what IsResultPage and AnalyzeResultPage say; the phone's reader gives its
// six forms of label.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "page/result_page.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/reference_analysis.h"

namespace {

// "prefix" followed by a number from 1 to `highest`.
bool Numbered(std::u16string_view label, std::u16string_view prefix, int highest) {
    if (!label.starts_with(prefix)) {
        return false;
    }
    const std::u16string_view digits = label.substr(prefix.size());
    if (digits.empty() || digits.size() > 6 || digits[0] == u'0') {
        return false;
    }
    int number = 0;
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        number = number * 10 + (c - u'0');
    }
    return number >= 1 && number <= highest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace testing = slotscope::testing;
    const auto parts = slotscope::fuzz::Parts(data, size, 2);
    const auto labels = slotscope::AnalyzeResultPage(parts[0], parts[1]);
    // Pages this small are always read to their end.
    FUZZ_CHECK(labels.has_value());

    int highestLeft = 10;
    int highestRight = 8;
    if (!testing::ReadByTableMarkers(parts[0])) {
        const testing::ColumnListings listings = testing::ReferenceColumnListings(parts[0]);
        highestLeft = listings.left;
        highestRight = listings.right;
    }
    FUZZ_CHECK(labels->left == u"左无" || labels->left == u"左侧无推广位" ||
               Numbered(labels->left, u"左", highestLeft));
    FUZZ_CHECK(labels->right == u"右无" || labels->right == u"右无推广位" ||
               Numbered(labels->right, u"右", highestRight));
    FUZZ_CHECK(*labels == testing::ReferenceAnalyzeResultPage(parts[0], parts[1]));
    // A page with paid listings is a result page.
    const std::optional<bool> isResult = slotscope::IsResultPage(parts[0]);
    if (labels->left != u"左侧无推广位" || labels->right != u"右无推广位") {
        FUZZ_CHECK(isResult == true);
    }
    using Outcome = slotscope::PageCheck::Outcome;
    const slotscope::PageCheck check =
        slotscope::CheckResultPage(parts[0], parts[1], slotscope::PageKind::Desktop);
    FUZZ_CHECK(check.outcome == (isResult == true ? Outcome::Read : Outcome::NotResultPage));
    FUZZ_CHECK(check.outcome != Outcome::Read || check.labels == *labels);

    const slotscope::PageCheck phone =
        slotscope::CheckResultPage(parts[0], parts[1], slotscope::PageKind::Phone);
    FUZZ_CHECK(phone.outcome != Outcome::Unreadable);
    if (phone.outcome == Outcome::Read) {
        FUZZ_CHECK(phone.labels.left == u"上无" || phone.labels.left == u"上无推广位" ||
                   Numbered(phone.labels.left, u"上", 1 << 20));
        FUZZ_CHECK(phone.labels.right == u"下无" || phone.labels.right == u"下无推广位" ||
                   Numbered(phone.labels.right, u"下", 1 << 20));
        FUZZ_CHECK(!Numbered(phone.labels.left, u"上", 1 << 20) || phone.labels.right == u"下无" ||
                   phone.labels.right == u"下无推广位");
    }
    return 0;
}
