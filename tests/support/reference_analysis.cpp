#include "tests/support/reference_analysis.h"

#include <string>

#include "base/marker_cut.h"

namespace slotscope::testing {
namespace {

char16_t Fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c;
}

// 1-based position of the first case-insensitive occurrence of x in t, 0 when absent; an empty
// x is at position 1 of any non-empty t.
std::size_t FindIgnoringCase(std::u16string_view t, std::u16string_view x) {
    if (t.empty()) {
        return 0;
    }
    if (x.empty()) {
        return 1;
    }
    for (std::size_t p = 0; p + x.size() <= t.size(); ++p) {
        std::size_t n = 0;
        while (n < x.size() && Fold(t[p + n]) == Fold(x[n])) {
            ++n;
        }
        if (n == x.size()) {
            return p + 1;
        }
    }
    return 0;
}

bool Contains(std::u16string_view t, std::u16string_view x) {
    return FindIgnoringCase(t, x) > 0;
}

std::u16string Number(int n) {
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
}

void RightScan(std::u16string_view page, std::u16string_view website, PositionLabels& labels) {
    if (!Contains(page, u"<div id=\"bdfs0\" ")) {
        labels.right = u"右无推广位";
        return;
    }
    for (int j = 0; j <= 7; ++j) {
        const std::u16string m = u"<div id=\"bdfs" + Number(j);
        if (!Contains(page, m)) {
            continue;
        }
        const std::u16string block = strCut(page, m, u"</div>", 2);
        if (HoldsHost(std::u16string_view(block), website)) {
            labels.right = u"右" + Number(j + 1);
            return;
        }
        labels.right = u"右无";
    }
}

}  // namespace

bool ReadByTableMarkers(std::u16string_view page) {
    return Contains(page, u"<table id=\"3001\" ") || Contains(page, u"<table id=\"4001\" ") ||
           Contains(page, u"<div id=\"bdfs0\" ");
}

PositionLabels ReferenceAnalyzeResultPage(std::u16string_view page, std::u16string_view website) {
    PositionLabels labels;
    std::u16string prefix;
    int count = 0;
    if (Contains(page, u"<table id=\"3001\" ")) {
        prefix = u"<table id=\"300";
        count = 10;
    } else if (Contains(page, u"<table id=\"4001\" ")) {
        prefix = u"<table id=\"400";
        count = 4;
    } else if (Contains(page, u"<div id=\"bdfs0\" ")) {
        labels.left = u"左侧无推广位";
        RightScan(page, website, labels);
        return labels;
    } else if (page.find(u"content_left") != std::u16string_view::npos ||
               page.find(u"content_right") != std::u16string_view::npos) {
        return ReferenceColumnLayout(page, website);
    } else {
        return {u"左侧无推广位", u"右无推广位"};
    }
    for (int k = 1; k <= count; ++k) {
        const std::u16string m = prefix + Number(k);
        if (!Contains(page, m)) {
            continue;
        }
        const std::u16string block = strCut(page, m, u"</table>", 2);
        if (HoldsHost(std::u16string_view(block), website)) {
            labels.left = u"左" + Number(k);
            labels.right = Contains(page, u"<div id=\"bdfs0\" ") ? u"右无" : u"右无推广位";
            return labels;
        }
        labels.left = u"左无";
        RightScan(page, website, labels);
    }
    return labels;
}

}  // namespace slotscope::testing
