#include "tests/support/page_generator.h"

#include <array>
#include <string_view>

namespace slotscope::testing {
namespace {

constexpr std::u16string_view kFillerUnit =
    u"<div class=\"result c-container\"><h3 class=\"t\"><a href=\"http://test.test/link?url=abc\">"
    u"搜索结果 标题 Title</a></h3><span class=\"content-right\">摘要 summary text 2026</span>"
    u"<table class=\"op\"><tr><td>单元格</td></tr></table></div>\n";

std::u16string Number(int n) {
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
}

std::u16string RandomCase(std::u16string_view text, std::mt19937& rng) {
    std::u16string out(text);
    for (auto& c : out) {
        if (c >= u'a' && c <= u'z' && rng() % 4 == 0) {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return out;
}

}  // namespace

std::u16string FillerHtml(std::size_t size) {
    std::u16string page;
    page.reserve(size + kFillerUnit.size());
    while (page.size() < size) {
        page += kFillerUnit;
    }
    page.resize(size);
    return page;
}

std::u16string WorstCasePage(std::size_t size) {
    std::u16string left = u"<div id=\"content_left\">";
    for (int k = 1; k <= 10; ++k) {
        left += u"<table id=\"300" + Number(k) + u"\" class=\"ec_pp\"><tr><td><a href=\"" +
                u"http://listing" + Number(k) + u".test/\">推广 listing</a></td></tr></table>";
    }
    left += u"</div>";
    std::u16string right = u"<div id=\"ec_im_container\">";
    for (int j = 0; j < 8; ++j) {
        right += u"<div id=\"bdfs" + Number(j) + u"\" class=\"EC_im\"><a href=\"http://right" +
                 Number(j) + u".test/\">右侧推广</a></div>";
    }
    right += u"</div>";
    const std::size_t fill =
        size > left.size() + right.size() + 2048 ? size - left.size() - right.size() - 2048 : 0;
    return FillerHtml(1024) + left + FillerHtml(fill) + right + FillerHtml(1024);
}

GeneratedPage RandomPage(std::mt19937& rng) {
    static constexpr std::array<std::u16string_view, 4> kSites = {u"shop.example.cn", u"SHOP",
                                                                  u"xn--site", u""};
    GeneratedPage result;
    result.website = kSites[rng() % kSites.size()];
    if (!result.website.empty() && rng() % 3 == 0) {
        result.website = RandomCase(result.website, rng);
    }
    const auto filler = [&] { return FillerHtml(rng() % 200); };
    const auto maybeSite = [&]() -> std::u16string {
        if (rng() % 4 != 0) {
            return u"other.example";
        }
        const std::u16string site = result.website.empty() ? u"shop" : result.website;
        return RandomCase(site, rng);
    };
    const auto marker = [&](std::u16string_view stem, int n, bool presence) {
        std::u16string m = RandomCase(stem, rng) + Number(n);
        if (presence || rng() % 2 == 0) {
            m += u"\" ";
        }
        return m;
    };

    std::u16string& page = result.page;
    page = filler();
    const int layouts = static_cast<int>(rng() % 4);  // 0 none, 1 A, 2 B, 3 both
    for (int layout = 1; layout <= 2; ++layout) {
        if ((layouts & layout) == 0) {
            continue;
        }
        const std::u16string_view stem = layout == 1 ? u"<table id=\"300" : u"<table id=\"400";
        const int count = layout == 1 ? 11 : 5;  // one past the last examined listing
        for (int k = 1; k <= count; ++k) {
            if (k > 1 && rng() % 3 == 0) {
                continue;
            }
            page += marker(stem, k, k == 1 && rng() % 5 != 0) + u"><tr><td>" + maybeSite();
            if (rng() % 6 != 0) {
                page += RandomCase(u"</table>", rng);
            }
            page += filler();
        }
    }
    if (rng() % 3 != 0) {
        for (int j = 0; j <= 8; ++j) {
            if (j > 0 && rng() % 3 == 0) {
                continue;
            }
            page += marker(u"<div id=\"bdfs", j, j == 0 && rng() % 5 != 0) + u">" + maybeSite();
            if (rng() % 6 != 0) {
                page += RandomCase(u"</div>", rng);
            }
        }
    }
    page += filler();
    return result;
}

std::u16string ListingsPage(std::u16string_view site, int left, int right, bool withRightBlock) {
    const auto number = [](int n) {
        const std::string digits = std::to_string(n);
        return std::u16string(digits.begin(), digits.end());
    };
    std::u16string page = u"<html><body>";
    for (int k = 1; k <= 3; ++k) {
        page += u"<table id=\"300" + number(k) + u"\" ><tr><td>" +
                (k == left ? std::u16string(site) : u"other.test") + u"</td></tr></table>";
    }
    if (withRightBlock || right > 0) {
        for (int j = 0; j < 3; ++j) {
            page += u"<div id=\"bdfs" + number(j) + u"\" >" +
                    (j + 1 == right ? std::u16string(site) : u"other.test") + u"</div>";
        }
    }
    return page + u"</body></html>";
}

}  // namespace slotscope::testing
