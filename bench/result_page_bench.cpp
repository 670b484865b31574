// The analysis on a 1 MB page in its worst case, beside the plain step-by-step version and beside
// a single find over the page for a marker that is not there (the floor for any analysis that
// reads the whole page once). Compare the three times of one run. The same for a 1 MB page in
// the column layout, parsing included, and for the real 177 KB result page. The run's check of a
// page (desktop and phone) beside libxml2's own parse of the same page with callbacks that do
// nothing, the floor for any reader built on it: read from memory (htmlCtxtReadMemory), and by the
// push parser given the whole page at once, libxml2's fastest.
#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text_codec.h"
#include "bench/real_page.h"
#include "page/column_layout.h"
#include "page/result_page.h"
#include "tests/support/page_generator.h"
#include "tests/support/reference_analysis.h"

namespace {

const std::u16string& Page() {
    static const std::u16string page = slotscope::testing::WorstCasePage(1'000'000);
    return page;
}

constexpr std::u16string_view kAbsentSite = u"absent.example";

void BM_AnalyzeResultPage(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(slotscope::AnalyzeResultPage(Page(), kAbsentSite));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size() * 2));
}
BENCHMARK(BM_AnalyzeResultPage)->Unit(benchmark::kMicrosecond);

void BM_ReferenceAnalysis(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            slotscope::testing::ReferenceAnalyzeResultPage(Page(), kAbsentSite));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size() * 2));
}
BENCHMARK(BM_ReferenceAnalysis)->Unit(benchmark::kMicrosecond);

void BM_FindAbsentMarker(benchmark::State& state) {
    const std::u16string_view page = Page();
    // 17 characters, like the layout markers, and absent from the page.
    constexpr std::u16string_view marker = u"<table id=\"5001\" ";
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.find(marker));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size() * 2));
}
BENCHMARK(BM_FindAbsentMarker)->Unit(benchmark::kMicrosecond);

const std::u16string& ColumnPage() {
    static const std::u16string page = slotscope::testing::ColumnLayoutPage(1'000'000);
    return page;
}

template <const std::u16string& (*Page)()>
void BM_AnalyzeColumns(benchmark::State& state) {
    if (Page().empty()) {
        state.SkipWithError("page not found (the shared fixtures are beside the clone)");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(slotscope::AnalyzeResultPage(Page(), kAbsentSite));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size() * 2));
}

template <const std::u16string& (*Page)()>
void BM_FindPass(benchmark::State& state) {
    const std::u16string_view page = Page();
    constexpr std::u16string_view marker = u"<table id=\"5001\" ";
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.find(marker));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size() * 2));
}
// The two timed back to back in every iteration, so that a machine whose speed drifts (a shared
// virtual machine) still gives a steady ratio: analysis time over find time.
template <const std::u16string& (*Page)()>
void BM_ColumnsOverFind(benchmark::State& state) {
    if (Page().empty()) {
        state.SkipWithError("page not found (the shared fixtures are beside the clone)");
        return;
    }
    const std::u16string_view page = Page();
    constexpr std::u16string_view marker = u"<table id=\"5001\" ";
    using Clock = std::chrono::steady_clock;
    Clock::duration analysis{};
    Clock::duration find{};
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(slotscope::AnalyzeResultPage(page, kAbsentSite));
        const auto middle = Clock::now();
        for (int i = 0; i < 10; ++i) {
            benchmark::DoNotOptimize(page.find(marker));
            benchmark::ClobberMemory();
        }
        const auto end = Clock::now();
        analysis += middle - start;
        find += (end - middle) / 10;
    }
    state.counters["ratio"] = std::chrono::duration<double>(analysis).count() /
                              std::chrono::duration<double>(find).count();
}
// libxml2's own SAX parse of the page's UTF-8 bytes with callbacks that do nothing: the floor for
// any reader built on it.
void BareParse(const std::string& input) {
    htmlSAXHandler handler{};
    handler.startElement = [](void*, const xmlChar*, const xmlChar**) {};
    handler.endElement = [](void*, const xmlChar*) {};
    handler.characters = [](void*, const xmlChar*, int) {};
    handler.ignorableWhitespace = handler.characters;
    handler.cdataBlock = handler.characters;
    htmlParserCtxtPtr parser = htmlNewParserCtxt();
    *parser->sax = handler;
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC;
    htmlDocPtr document = htmlCtxtReadMemory(parser, input.data(), static_cast<int>(input.size()),
                                             nullptr, "UTF-8", options);
    if (document != nullptr) {
        xmlFreeDoc(document);
    }
    htmlFreeParserCtxt(parser);
}

// libxml2's fastest parse of the same bytes: the push parser given the whole page as one final
// chunk, with callbacks that do nothing.
void BarePushParse(const std::string& input) {
    htmlSAXHandler handler{};
    handler.startElement = [](void*, const xmlChar*, const xmlChar**) {};
    handler.endElement = [](void*, const xmlChar*) {};
    handler.characters = [](void*, const xmlChar*, int) {};
    handler.ignorableWhitespace = handler.characters;
    handler.cdataBlock = handler.characters;
    htmlParserCtxtPtr parser =
        htmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    htmlCtxtUseOptions(parser, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                   HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC);
    htmlParseChunk(parser, input.data(), static_cast<int>(input.size()), 1);
    if (parser->myDoc != nullptr) {
        xmlFreeDoc(parser->myDoc);
    }
    htmlFreeParserCtxt(parser);
}

const std::u16string& PhonePage() {
    static const std::u16string page =
        slotscope::testing::PhoneListingsPage(u"listing.test", 0, 0, 500'000);
    return page;
}

// The reader (the whole check of a fetched page as the run makes it) over the bare parse of the
// same page, timed back to back.
template <const std::u16string& (*Page)(), slotscope::PageKind kind>
void BM_ReaderOverBareParse(benchmark::State& state) {
    if (Page().empty()) {
        state.SkipWithError("page not found (the shared fixtures are beside the clone)");
        return;
    }
    const std::u16string_view page = Page();
    const std::string input = slotscope::EncodeUtf8WithoutNul(page);
    using Clock = std::chrono::steady_clock;
    Clock::duration reader{};
    Clock::duration bare{};
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(slotscope::CheckResultPage(page, kAbsentSite, kind));
        const auto middle = Clock::now();
        BareParse(input);
        reader += middle - start;
        bare += Clock::now() - middle;
    }
    state.counters["ratio"] =
        std::chrono::duration<double>(reader).count() / std::chrono::duration<double>(bare).count();
}
BENCHMARK_TEMPLATE(BM_ReaderOverBareParse, ColumnPage, slotscope::PageKind::Desktop)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReaderOverBareParse, RealPage, slotscope::PageKind::Desktop)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReaderOverBareParse, PhonePage, slotscope::PageKind::Phone)
    ->Unit(benchmark::kMillisecond);

// The check as the run calls it over the push parse of the page's UTF-8 bytes, timed back to
// back: a page that came as UTF-8 brings its bytes as the parser's input; one that came as GBK
// (`fromText`) is encoded from its text first.
template <const std::u16string& (*Page)(), slotscope::PageKind kind, bool fromText>
void BM_CheckOverPushParse(benchmark::State& state) {
    if (Page().empty()) {
        state.SkipWithError("page not found (the shared fixtures are beside the clone)");
        return;
    }
    const std::u16string_view page = Page();
    const std::string input = slotscope::EncodeUtf8WithoutNul(page);
    using Clock = std::chrono::steady_clock;
    Clock::duration check{};
    Clock::duration bare{};
    for (auto _ : state) {
        const auto start = Clock::now();
        if constexpr (fromText) {
            benchmark::DoNotOptimize(slotscope::CheckResultPage(page, kAbsentSite, kind));
        } else {
            benchmark::DoNotOptimize(slotscope::CheckResultPage(page, input, kAbsentSite, kind));
        }
        const auto middle = Clock::now();
        BarePushParse(input);
        check += middle - start;
        bare += Clock::now() - middle;
    }
    state.counters["ratio"] =
        std::chrono::duration<double>(check).count() / std::chrono::duration<double>(bare).count();
}
BENCHMARK_TEMPLATE(BM_CheckOverPushParse, ColumnPage, slotscope::PageKind::Desktop, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_CheckOverPushParse, RealPage, slotscope::PageKind::Desktop, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_CheckOverPushParse, PhonePage, slotscope::PageKind::Phone, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_CheckOverPushParse, ColumnPage, slotscope::PageKind::Desktop, true)
    ->Unit(benchmark::kMillisecond);

// What keeping a UTF-8 page's bytes costs the fetch: the test that they are the parser's input,
// over decoding them to text, which the fetch does either way.
void BM_KeepBytesOverDecode(benchmark::State& state) {
    const std::string bytes = slotscope::EncodeUtf8WithoutNul(ColumnPage());
    using Clock = std::chrono::steady_clock;
    Clock::duration keep{};
    Clock::duration decode{};
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(slotscope::IsUtf8WithoutNul(bytes));
        const auto middle = Clock::now();
        benchmark::DoNotOptimize(slotscope::DecodeUtf8(bytes));
        keep += middle - start;
        decode += Clock::now() - middle;
    }
    state.counters["ratio"] =
        std::chrono::duration<double>(keep).count() / std::chrono::duration<double>(decode).count();
}
BENCHMARK(BM_KeepBytesOverDecode)->Unit(benchmark::kMillisecond);

BENCHMARK_TEMPLATE(BM_ColumnsOverFind, ColumnPage)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ColumnsOverFind, RealPage)->Unit(benchmark::kMillisecond);

BENCHMARK_TEMPLATE(BM_AnalyzeColumns, ColumnPage)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_FindPass, ColumnPage)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_AnalyzeColumns, RealPage)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_FindPass, RealPage)->Unit(benchmark::kMicrosecond);

// Hostile pages, at 1, 4 and 16 Mi characters: a page of nothing but '<' (every character starts
// a possible marker), and a page of listing and right-block openings that never close. The
// reported complexity should be linear (O(N)).
std::u16string LessThanFlood(std::size_t size) {
    // Parentheses, not braces: braces would make a two-character string.
    return std::u16string(size, u'<');  // NOLINT(modernize-return-braced-init-list)
}

std::u16string UnclosedMarkers(std::size_t size) {
    std::u16string unit;
    for (int k = 1; k <= 10; ++k) {
        const std::string digits = std::to_string(3000 + k);
        unit += u"<table id=\"" + std::u16string(digits.begin(), digits.end()) + u"\" <tr><td>";
    }
    for (int j = 0; j < 8; ++j) {
        unit += u"<div id=\"bdfs" + std::u16string(1, static_cast<char16_t>(u'0' + j)) + u"\" <a ";
    }
    std::u16string page;
    page.reserve(size + unit.size());
    while (page.size() < size) {
        page += unit;
    }
    page.resize(size);
    return page;
}

template <std::u16string (*MakePage)(std::size_t)>
void BM_HostilePage(benchmark::State& state) {
    const std::u16string page = MakePage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(slotscope::AnalyzeResultPage(page, kAbsentSite));
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size() * 2));
}
BENCHMARK_TEMPLATE(BM_HostilePage, LessThanFlood)
    ->RangeMultiplier(4)
    ->Range(1 << 20, 16 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK_TEMPLATE(BM_HostilePage, UnclosedMarkers)
    ->RangeMultiplier(4)
    ->Range(1 << 20, 16 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
