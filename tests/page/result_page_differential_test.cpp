#include <gtest/gtest.h>

#include <random>

#include "base/text_codec.h"
#include "page/result_page.h"
#include "tests/support/page_generator.h"
#include "tests/support/printers.h"
#include "tests/support/reference_analysis.h"

namespace slotscope {
namespace {

// The one-pass analysis must agree with the step-by-step one on every page, including the odd
// ones: markers in other cases, listings without end markers, the website in several blocks.
TEST(AnalysisAgreesWithReference, OnGeneratedPages) {
    std::mt19937 rng(20261207);
    int withLeftMatch = 0;
    int withRightMatch = 0;
    for (int i = 0; i < 4000; ++i) {
        const auto [page, website] = testing::RandomPage(rng);
        const PositionLabels expected = testing::ReferenceAnalyzeResultPage(page, website);
        ASSERT_EQ(AnalyzeResultPage(page, website), expected) << "page " << i;
        const bool leftMatch = expected.left.size() > 1 && expected.left != u"左无" &&
                               expected.left != u"左侧无推广位";
        const bool rightMatch = expected.right.size() == 2 && expected.right != u"右无";
        withLeftMatch += leftMatch ? 1 : 0;
        withRightMatch += rightMatch ? 1 : 0;
    }
    // The generator must reach the interesting outcomes, or the agreement says little.
    EXPECT_GT(withLeftMatch, 400);
    EXPECT_GT(withRightMatch, 400);
}

// The column layout read as the parser's events come, against a walk over the document tree.
TEST(AnalysisAgreesWithReference, OnGeneratedColumnPages) {
    std::mt19937 rng(20261208);
    int leftNumbered = 0;
    int rightNumbered = 0;
    int read = 0;
    for (int i = 0; i < 6000; ++i) {
        const auto [page, website] = testing::RandomColumnPage(rng);
        const PositionLabels expected = testing::ReferenceAnalyzeResultPage(page, website);
        ASSERT_EQ(AnalyzeResultPage(page, website), expected)
            << "page " << i << ": " << EncodeUtf8(page) << "\nwebsite: " << EncodeUtf8(website);
        // As the run checks a fetched page whose bytes are the parser's input already.
        const PageCheck check =
            CheckResultPage(page, EncodeUtf8WithoutNul(page), website, PageKind::Desktop);
        if (check.outcome == PageCheck::Outcome::Read) {
            ASSERT_EQ(check.labels, expected) << "page " << i;
            ++read;
        }
        leftNumbered +=
            expected.left.size() > 1 && expected.left[1] >= u'0' && expected.left[1] <= u'9' ? 1
                                                                                             : 0;
        rightNumbered +=
            expected.right.size() > 1 && expected.right[1] >= u'0' && expected.right[1] <= u'9' ? 1
                                                                                                : 0;
    }
    EXPECT_GT(leftNumbered, 300);
    EXPECT_GT(rightNumbered, 300);
    EXPECT_GT(read, 3000) << "pages the check reads as result pages";
}

TEST(AnalysisAgreesWithReference, OnColumnLayoutPage) {
    const std::u16string page = testing::ColumnLayoutPage(200'000);
    for (const std::u16string_view site :
         {u"absent.example", u"LISTING3.test", u"listing10", u"推广", u"c-abstract"}) {
        EXPECT_EQ(AnalyzeResultPage(page, site), testing::ReferenceAnalyzeResultPage(page, site))
            << EncodeUtf8(site);
    }
}

TEST(AnalysisAgreesWithReference, OnWorstCasePage) {
    const std::u16string page = testing::WorstCasePage(100'000);
    for (const std::u16string_view site :
         {u"absent.example", u"LISTING3.test", u"right5.TEST", u"", u"推广"}) {
        EXPECT_EQ(AnalyzeResultPage(page, site), testing::ReferenceAnalyzeResultPage(page, site));
    }
}

// Markup after the document's end is read as the whole-document tree reads it, whatever comes
// between: comments, instructions, more end tags, a bare "<!" or plain text.
TEST(AnalysisAgreesWithReference, PastTheDocumentsEnd) {
    const std::u16string_view tails[] = {
        u"\n<!-- served -->\n",
        u"<!-- a --><!-- b -->",
        u"<?x?>",
        u"</html></html>",
        u"<!",
        u"text",
        u"</html>text</html>",
        u"<!DOCTYPE html>",
        u"\n",
    };
    std::mt19937 rng(20261209);
    for (const std::u16string_view tail : tails) {
        for (int i = 0; i < 200; ++i) {
            const auto [column, website] = testing::RandomColumnPage(rng);
            const std::u16string page =
                u"<html><body><p>x</p></body></html>" + std::u16string(tail) + column;
            ASSERT_EQ(AnalyzeResultPage(page, website),
                      testing::ReferenceAnalyzeResultPage(page, website))
                << "tail " << EncodeUtf8(tail) << ", page " << i << ": " << EncodeUtf8(page);
        }
    }
}

}  // namespace
}  // namespace slotscope
