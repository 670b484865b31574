// The keyword entries: joined back with the separators between them they give the list, no entry
// holds a separator, and no keyword a control character but tab.

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
        FUZZ_CHECK(entry.find_first_of(u",\r\n") == std::u16string_view::npos);
        if (count > 0) {
            // The separator is what the list holds between the previous entry and this one.
            const std::size_t at = joined.size();
            FUZZ_CHECK(at < list.size());
            const bool crLf = list.compare(at, 2, u"\r\n") == 0;
            joined += crLf ? std::u16string(u"\r\n") : std::u16string(1, list[at]);
        }
        const std::u16string keyword = slotscope::KeywordOf(entry);
        for (const char16_t c : keyword) {
            FUZZ_CHECK(c == u'\t' || (c >= 0x20 && (c < 0x7F || c > 0x9F)));
        }
        FUZZ_CHECK(keyword == slotscope::TrimSpaces(keyword));
        joined += entry;
        FUZZ_CHECK(list.compare(0, joined.size(), joined) == 0);
    }
    FUZZ_CHECK(joined == list);
    FUZZ_CHECK(list.empty() == (count == 0));
    // Every separator makes one more entry.
    std::size_t separators = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == u',' || list[i] == u'\n') {
            ++separators;
        } else if (list[i] == u'\r') {
            ++separators;
            i += i + 1 < list.size() && list[i + 1] == u'\n' ? 1 : 0;
        }
    }
    FUZZ_CHECK(list.empty() || count == separators + 1);

    // Line breaks as CR LF: a bare LF gains its CR and a lone CR its LF, nothing else changes,
    // and the entries stay the same.
    const std::u16string crLf = slotscope::WithCrLfLineBreaks(list);
    for (std::size_t i = 0; i < crLf.size(); ++i) {
        if (crLf[i] == u'\n') {
            FUZZ_CHECK(i > 0 && crLf[i - 1] == u'\r');
        } else if (crLf[i] == u'\r') {
            FUZZ_CHECK(i + 1 < crLf.size() && crLf[i + 1] == u'\n');
        }
    }
    std::u16string_view a;
    std::u16string_view b;
    slotscope::KeywordEntries fromList(list);
    slotscope::KeywordEntries fromCrLf(crLf);
    for (bool more = fromList.Next(a); more; more = fromList.Next(a)) {
        FUZZ_CHECK(fromCrLf.Next(b) && a == b);
    }
    FUZZ_CHECK(!fromCrLf.Next(b));
    return 0;
}
