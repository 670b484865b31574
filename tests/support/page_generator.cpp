#include "tests/support/page_generator.h"

#include <array>
#include <string_view>

namespace slotscope::testing {
namespace {

constexpr std::u16string_view kFillerUnit =
    u"<div class=\"result c-container\"><h3 class=\"t\"><a href=\"http://test.test/link?url=abc\">"
    u"搜索结果 标题 Title</a></h3><span class=\"content-right\">摘要 summary text 2026</span>"
    u"<table class=\"op\"><tr><td>单元格</td></tr></table></div>\n";

// An organic result as today's pages write one: long attribute values full of character
// references, deep wrappers, a title link through /link?url=, an image and a summary.
constexpr std::u16string_view kOrganicUnit =
    u"<div class=\"result c-container xpath-log new-pmd\" srcid=\"1599\" id=\"5\" "
    u"tpl=\"www_index\" mu=\"http://organic.test/article/123\" data-op=\"{&#x27;y&#x27;:&#x27;"
    u"ED74FEF9&#x27;}\" data-click=\"{&quot;p1&quot;:5,&quot;rsv_bdr&quot;:&quot;0&quot;,&quot;"
    u"rsv_cd&quot;:&quot;&quot;,&quot;fm&quot;:&quot;as&quot;,&quot;p5&quot;:5,&quot;area&quot;:"
    u"&quot;LEFT&quot;}\" data-cost=\"{&quot;renderCost&quot;:3,&quot;dataCost&quot;:1}\" "
    u"m-name=\"mirror-san/app/www_index/index_dd80f68\" nr=\"1\"><div class=\"_aladdin_1q9is_1 "
    u"aladdin_7vNuJ aladdin-struct_r13eS\" card-show-log=\"{&quot;temp_type&quot;:&quot;pic&quot;"
    u"}\" data-sanssr=\"render-only\"><div class=\"_content-border_1q9is_4 \"><div class=\"title-"
    u"wrapper_6E6PV\"><h3 class=\"t _sc-title_10ku5_63 title_2X7ZC\"><a class=\"sc-link _link_"
    u"1iyz5_2 -v-color-primary block\" href=\"http://www.baidu.com/link?url=K9aXy3Qe\" target=\"_"
    u"blank\" data-module=\"title\"><p class=\"_paragraph_10ku5_2 cu-line-clamp-1 md\"><span "
    u"class=\"tts-b-hl\" data-click=\"{&quot;F&quot;:&quot;F78317E8&quot;,&quot;T&quot;:"
    u"1779908571,&quot;y&quot;:&quot;ED74FEF9&quot;}\"><em>鲜花</em>速递_同城送花上门_网上订花"
    u"</span></p></a></h3></div><div class=\"cos-row single-image_69zQZ\"><div class=\"cos-col\">"
    u"<a href=\"http://www.baidu.com/link?url=K9aXy3Qe\" data-module=\"cover_img_1\"><img "
    u"class=\"_img_14uts_11\" alt=\"\" src=\"https://img.organic.test/it/u=1234,5678&amp;fm=253\">"
    u"</a></div><div class=\"cos-col content-space-between_44mGk\"><div class=\"c-color summary-"
    u"gap_3Jb4I\" role=\"text\"><span class=\"cos-color-text-minor\">2026年11月3日&nbsp;</span>"
    u"<span class=\"summary-text_560AW\">专业<em>鲜花</em>配送, 全国同城3小时送达, 生日鲜花、"
    u"爱情鲜花、商务花篮一站式订购, 品质保证, 不满意可退换。 Fresh flowers delivered the same day."
    u"</span></div><div class=\"source_1Vdff\"><span class=\"c-color-gray\" aria-hidden=\"true\">"
    u"花店网</span><span class=\"c-gap-left-small\">organic.test</span></div></div></div></div>"
    u"</div></div>\n";

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

std::u16string ColumnPage(std::u16string_view left, std::u16string_view right) {
    return u"<html><head><meta charset=\"utf-8\"><title>t</title></head><body><div id=\"wrapper\">"
           u"<div id=\"content_left\">" +
           std::u16string(left) + u"</div><div id=\"content_right\">" + std::u16string(right) +
           u"</div></div></body></html>";
}

std::u16string ColumnLayoutPage(std::size_t size) {
    const auto paid = [](int n) {
        return u"<div class=\"result c-container\" id=\"" + Number(3000 + n) +
               u"\"><h3><a href=\"http://www.baidu.com/baidu.php?url=K" + Number(n) +
               u"\">推广标题 " + Number(n) +
               u"</a></h3><div class=\"c-abstract\">专业服务 品质保证</div><a class=\"c-showurl\" "
               u"href=\"http://www.baidu.com/baidu.php?url=K" +
               Number(n) + u"\">www.<b>listing" + Number(n) +
               u"</b>.test</a><span data-tuiguang=\"7\" class=\"ec-tuiguang\">广告</span></div>";
    };
    const auto script = [] {
        return std::u16string(
            u"<script>var s = {\"a\": \"<span>广告</span>\", \"b\": [1, 2, 3]};"
            u"function f(x) { return x < 3 && x > 1; }</script>");
    };
    std::u16string left;
    for (int n = 1; n <= 5; ++n) {
        left += paid(n);
    }
    const std::size_t organicSize = size > 20'000 ? (size - 20'000) * 4 / 5 : size / 2;
    std::u16string organic;
    while (organic.size() < organicSize) {
        organic += kOrganicUnit;
    }
    left += organic;
    for (int n = 6; n <= 8; ++n) {
        left += paid(n);
    }
    std::u16string right = u"<table><tr><td>";
    for (int n = 9; n <= 11; ++n) {
        right += paid(n);
    }
    while (right.size() < (size - std::min(size, left.size())) / 2) {
        right += kOrganicUnit;
    }
    right += u"</td></tr></table>";
    std::u16string page =
        u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>.a{b:c}"
        u"</style>" +
        script() + u"</head><body><div id=\"wrapper\">";
    while (page.size() + left.size() + right.size() < size) {
        page += kOrganicUnit;
    }
    return page + u"<div id=\"content_right\">" + right + u"</div><div id=\"content_left\">" +
           left + u"</div></div></body></html>";
}

GeneratedPage RandomColumnPage(std::mt19937& rng) {
    static constexpr std::array<std::u16string_view, 62> kPieces = {
        // columns
        u"<div id=\"content_left\">", u"<div id=\"content_right\">", u"<td id=\"content_right\">",
        u"<div id='content_left' class=x>", u"<div id=\"content_left\">",
        // structure
        u"<table>", u"<tbody>", u"<tr>", u"<td>", u"</td>", u"</tr>", u"</table>", u"<div>",
        u"</div>", u"</div>", u"<div>", u"<p>", u"</p>", u"<span>", u"</span>",
        u"<a href=\"/link?url=1\">", u"</a>", u"<b>", u"</b>", u"<em>", u"</em>", u"<li>",
        // signs, and things that only look like them
        u"<span data-tuiguang>", u"<i data-landurl=\"http://www.Shop.example.cn/x\">",
        u"<div class=\"a ec-tuiguang\">", u"<a href=\"/baidu.php?url=1\">",
        u"<a href=\"http://www.baidu.com/baidu.php?x\">", u"<span data-tuiguangx>",
        u"<span class=\"xec_tuiguang\">", u"<div href=\"/baidu.php?url=2\">",
        u"<SPAN DATA-TUIGUANG=1>",
        // text
        u"广告", u"商业推广", u" ", u"\u00A0", u"\u3000", u"\n", u"shop.example.cn", u"SHOP.",
        u"example.cn", u"&#24191;", u"&#x544A;", u"x", u"广", u"告",
        // the rest of what a page holds
        u"<!-- c -->", u"<!--", u"-->", u"<script>广告 shop.example.cn</script>",
        u"<style>x</style>", u"<br>", u"<img alt=\"shop.example.cn\">", u"<input checked>",
        u"<option selected>", u"<table id=\"3001\" >", u"<div id=\"bdfs0\" >", u"<html><body>"};
    static constexpr std::array<std::u16string_view, 9> kWebsites = {
        u"shop.example.cn", u"SHOP.EXAMPLE.CN", u"example", u"广告", u"",
        u" shop",           u"checked",         u"d",       u"x"};

    GeneratedPage result;
    result.website = kWebsites[rng() % kWebsites.size()];
    std::u16string& page = result.page;
    page = rng() % 2 == 0 ? u"<div id=\"content_left\">" : u"<div id=\"content_right\">";
    const std::size_t pieces = rng() % 60;
    for (std::size_t i = 0; i < pieces; ++i) {
        std::size_t piece = rng() % kPieces.size();
        // The table layout's markers switch to the other rules; keep them rare.
        if (kPieces[piece].find(u"3001") != std::u16string_view::npos ||
            kPieces[piece].find(u"bdfs0") != std::u16string_view::npos) {
            piece = rng() % 8 == 0 ? piece : 0;
        }
        page += kPieces[piece];
    }
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

namespace {

std::u16string PhonePaid(int n, std::u16string_view shows) {
    const std::string digits = std::to_string(n);
    const std::u16string number(digits.begin(), digits.end());
    return u"<div class=\"c-result-ad ec_resitem\" data-rank=\"" + number +
           u"\"><a href=\"https://m.baidu.com/baidu.php?url=M00" + number +
           u"\"><h3 class=\"c-title\">推广标题 " + number +
           u"</h3></a><div class=\"c-abstract\">专业服务 品质保证</div><div "
           u"class=\"c-line-clamp1\"><span class=\"c-color-url\">" +
           std::u16string(shows) + u"</span><span class=\"c-color-gray\">广告</span></div></div>";
}

constexpr std::u16string_view kPhoneHead =
    u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>鲜花_百度搜索</title>"
    u"<style>.c-result{margin:0}</style><script>var s = {\"a\": \"<span>广告</span>\"};"
    u"</script></head><body><div id=\"page\"><div id=\"page-hd\"><form action=\"/s\"><input "
    u"name=\"word\" value=\"鲜花\"></form></div><div id=\"page-bd\">";

}  // namespace

std::u16string PhoneListingsPage(std::u16string_view site, int top, int bottom, std::size_t size) {
    std::u16string page(kPhoneHead);
    page += u"<div id=\"results\" class=\"results\">";
    for (int n = 1; n <= 2; ++n) {
        page += PhonePaid(n, n == top ? site : u"other.test");
    }
    do {
        page += kOrganicUnit;
    } while (page.size() < size);
    for (int n = 1; n <= 2; ++n) {
        page += PhonePaid(n + 2, n == bottom ? site : u"other.test");
    }
    return page +
           u"</div></div><div id=\"page-ft\"><a href=\"/\">百度首页</a></div></div>"
           u"</body></html>";
}

std::u16string MisplacedEndTagsPage(std::u16string_view head) {
    std::u16string page(head);
    for (int i = 0; i < 20'000; ++i) {
        page += u"<b>";
    }
    for (int i = 0; i < 100'000; ++i) {
        page += u"</i>";
    }
    return page;
}

}  // namespace slotscope::testing
