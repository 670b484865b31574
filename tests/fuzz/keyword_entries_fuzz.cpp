// The keyword entries: joined back with the separators between them they give the list, and no
// entry holds a separator.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/keyword_run.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string list = slotscope::fuzz::Parts(data, size, 1)[0];

    std::u16string joined;
    std::u16string_view entry;
    std::size_t count = 0;
    for (slotscope::KeywordEntries entries(list); entries.Next(entry); ++count) {
        FUZZ_CHECK(entry.find(u',') == std::u16string_view::npos);
        FUZZ_CHECK(entry.find(u"\r\n") == std::u16string_view::npos);
        if (count > 0) {
            // The separator is what the list holds between the previous entry and this one.
            const std::size_t at = joined.size();
            FUZZ_CHECK(at < list.size());
            joined += list[at] == u',' ? u"," : u"\r\n";
        }
        joined += entry;
        FUZZ_CHECK(list.compare(0, joined.size(), joined) == 0);
    }
    FUZZ_CHECK(joined == list);
    FUZZ_CHECK(list.empty() == (count == 0));
    // Every separator makes one more entry.
    std::size_t separators = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == u',') {
            ++separators;
        } else if (list[i] == u'\r' && i + 1 < list.size() && list[i + 1] == u'\n') {
            ++separators;
            ++i;
        }
    }
    FUZZ_CHECK(list.empty() || count == separators + 1);

    // Line breaks as CR LF: a bare LF gains its CR, nothing else changes.
    const std::u16string crLf = slotscope::WithCrLfLineBreaks(list);
    for (std::size_t i = 0; i < crLf.size(); ++i) {
        if (crLf[i] == u'\n') {
            FUZZ_CHECK(i > 0 && crLf[i - 1] == u'\r');
        }
    }
    const auto lfOnly = [](std::u16string_view text) {
        std::u16string result;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) {
                result += text[i];
            }
        }
        return result;
    };
    FUZZ_CHECK(lfOnly(crLf) == lfOnly(list));
    std::size_t bareLf = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        bareLf += list[i] == u'\n' && (i == 0 || list[i - 1] != u'\r') ? 1 : 0;
    }
    FUZZ_CHECK(crLf.size() == list.size() + bareLf);
    return 0;
}
