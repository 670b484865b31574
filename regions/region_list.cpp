#include "regions/region_list.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "base/ascii.h"
#include "base/letter_case.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\u3000';
}

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsBlank(text.back()) || text.back() == u'\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::size_t Characters(std::u16string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char16_t unit) {
        return unit < 0xDC00 || unit > 0xDFFF;  // a surrogate pair counts once
    }));
}

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Names that would be one file's on Windows.
bool SameName(std::u16string_view a, std::u16string_view b) {
    return SameIgnoringCase(a, b);
}

// The line without its comment: a # at the start of the line or after a blank begins one; a #
// within an address (a password may hold one) is the address's.
std::u16string_view WithoutComment(std::u16string_view line) {
    for (std::size_t at = line.find(u'#'); at != std::u16string_view::npos;
         at = line.find(u'#', at + 1)) {
        if (at == 0 || IsBlank(line[at - 1])) {
            return line.substr(0, at);
        }
    }
    return line;
}

tl::unexpected<RegionListError> Fault(int line, std::string message) {
    return tl::unexpected(RegionListError{line, std::move(message)});
}

// Adds one address to the named region, opening the region at its first line.
std::optional<std::string> Add(std::vector<Region>& regions, std::u16string_view name,
                               std::string_view address) {
    auto region = std::find_if(regions.begin(), regions.end(),
                               [&](const Region& r) { return SameName(r.name, name); });
    if (region != regions.end() && region->name != name) {
        return "the name differs only in case from region " + EncodeUtf8(region->name) +
               " (their files would be one on Windows)";
    }
    const bool direct = ascii::EqualsLower(address, "direct");
    std::optional<ProxyAddress> proxy;
    if (!direct) {
        auto parsed = ParseProxyAddress(address);
        if (!parsed) {
            return std::move(parsed).error();
        }
        proxy = std::move(*parsed);
    }
    if (region == regions.end()) {
        regions.push_back(Region{std::u16string(name), {}});
        region = regions.end() - 1;
    } else if (direct != region->direct()) {
        return "region " + EncodeUtf8(name) +
               " cannot be both the own connection (direct) and proxies";
    }
    if (proxy &&
        std::find(region->pool.begin(), region->pool.end(), *proxy) == region->pool.end()) {
        region->pool.push_back(std::move(*proxy));
    }
    return std::nullopt;
}

}  // namespace

std::string RegionNameFault(std::u16string_view name) {
    if (name.empty()) {
        return "a region needs a name before the =";
    }
    if (Characters(name) > kMaxRegionNameLength) {
        return "a region name has at most 32 characters";
    }
    if (name.find_first_of(u"\\/:*?\"<>|") != std::u16string_view::npos ||
        std::any_of(name.begin(), name.end(), IsControl)) {
        return "a region name cannot hold \\ / : * ? \" < > | or control characters";
    }
    if (IsBlank(name.front()) || IsBlank(name.back()) || name.front() == u'.' ||
        name.back() == u'.') {
        return "a region name cannot start or end with a space or a dot";
    }
    // The window offers these beside the regions: the machine's own connection, and every region.
    if (name == u"本机" || name == u"全部地域") {
        return "本机 and 全部地域 are names of the program's own choices";
    }
    return {};
}

tl::expected<std::vector<Region>, RegionListError> ReadRegionList(std::u16string_view text) {
    std::vector<Region> regions;
    int number = 0;
    for (std::size_t start = 0; start <= text.size();) {
        // Lines end in CR LF, LF or a lone CR, as Windows, Linux and old Macs save them: read
        // otherwise, a file of lone CRs is one line whose first password runs into the rest.
        const std::size_t end = std::min(text.find_first_of(u"\r\n", start), text.size());
        std::u16string_view line = text.substr(start, end - start);
        start = end + (text.substr(end).starts_with(u"\r\n") ? 2 : 1);
        ++number;
        if (number == 1 && line.starts_with(u'\uFEFF')) {
            line.remove_prefix(1);
        }
        line = Trimmed(WithoutComment(line));
        if (line.empty()) {
            continue;
        }
        const std::size_t equals = line.find(u'=');
        if (equals == std::u16string_view::npos) {
            return Fault(number, "a line is NAME = ADDRESS");
        }
        const std::u16string_view name = Trimmed(line.substr(0, equals));
        const std::u16string_view address = Trimmed(line.substr(equals + 1));
        if (std::string fault = RegionNameFault(name); !fault.empty()) {
            return Fault(number, std::move(fault));
        }
        if (address.empty()) {
            return Fault(number, "a proxy address or direct comes after the =");
        }
        if (std::optional<std::string> fault = Add(regions, name, EncodeUtf8(address))) {
            return Fault(number, std::move(*fault));
        }
    }
    if (regions.empty()) {
        return Fault(0, "no region is named");
    }
    return regions;
}

}  // namespace slotscope

namespace slotscope {

tl::expected<std::vector<Region>, std::u16string> ChooseRegions(
    const std::vector<Region>& regions, const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
        if (std::none_of(regions.begin(), regions.end(),
                         [&](const Region& region) { return SameName(region.name, name); })) {
            return tl::unexpected(name);
        }
    }
    std::vector<Region> chosen;
    std::copy_if(
        regions.begin(), regions.end(), std::back_inserter(chosen), [&](const Region& region) {
            return std::any_of(names.begin(), names.end(),
                               [&](const auto& name) { return SameName(region.name, name); });
        });
    return chosen;
}

}  // namespace slotscope
