// GBK and GB18030 through Windows' code pages: 936 (GBK) and 54936 (GB18030) where the system has
// it. The byte structure and everything outside the tables is gb18030.cpp's, shared with Linux.

#include <windows.h>

#include <array>
#include <mutex>

#include "base/gb18030.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

constexpr UINT kGbk = 936;
constexpr UINT kGb18030 = 54936;
constexpr char16_t kReplacement = 0xFFFD;

bool HasGb18030() {
    static const bool has = IsValidCodePage(kGb18030) != 0;
    return has;
}

// One character to bytes in a code page, or nothing when the code page has no exact form.
std::string ToCodePage(UINT codePage, char16_t c) {
    const auto wide = static_cast<wchar_t>(c);
    char bytes[8];
    BOOL usedDefault = FALSE;
    // 54936 takes neither flag nor the default-character question; it has every character.
    const bool gb18030 = codePage == kGb18030;
    const int written =
        WideCharToMultiByte(codePage, gb18030 ? 0 : WC_NO_BEST_FIT_CHARS, &wide, 1, bytes,
                            sizeof bytes, nullptr, gb18030 ? nullptr : &usedDefault);
    if (written <= 0 || usedDefault) {
        return {};
    }
    return {bytes, static_cast<std::size_t>(written)};
}

char16_t FromCodePage(UINT codePage, const char* bytes, int length) {
    wchar_t wide[4];
    const int written = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, wide, 4);
    return written == 1 ? static_cast<char16_t>(wide[0]) : kReplacement;
}

class WindowsTable final : public Gb18030Table {
  public:
    WindowsTable() {
        // The two-byte characters are looked up often (a GBK page has thousands), so they are
        // read from the system once.
        const UINT codePage = HasGb18030() ? kGb18030 : kGbk;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                twoByte_[Slot(lead, trail)] =
                    trail == 0x7F ? kReplacement : FromCodePage(codePage, pair, 2);
            }
        }
    }

    std::string Encode936(char16_t c) const override { return ToCodePage(kGbk, c); }

    std::string EncodeGb18030(char16_t c) const override {
        return HasGb18030() ? ToCodePage(kGb18030, c) : std::string();
    }

    char16_t DecodeTwoByte(unsigned char lead, unsigned char trail) const override {
        return twoByte_[Slot(lead, trail)];
    }

    char16_t DecodeFourByte(std::uint32_t index) const override {
        if (!HasGb18030()) {
            return kReplacement;
        }
        const std::string bytes = Gb18030FourBytes(index);
        return FromCodePage(kGb18030, bytes.data(), 4);
    }

  private:
    static std::size_t Slot(int lead, int trail) {
        return static_cast<std::size_t>(lead - 0x81) * 191 + static_cast<std::size_t>(trail - 0x40);
    }

    std::array<char16_t, std::size_t{126} * 191> twoByte_{};
};

const WindowsTable& Table() {
    static const WindowsTable table;
    return table;
}

}  // namespace

std::string EncodeGbk(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    // Most text is all GBK: one call for the whole of it.
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                         nullptr, &usedDefault);
    if (size > 0 && !usedDefault) {
        std::string bytes(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, length, bytes.data(), size, nullptr,
                            nullptr);
        return bytes;
    }
    return EncodeGbkWith(text, Table());
}

std::u16string DecodeGb18030(std::string_view bytes) {
    return DecodeGb18030With(bytes, Table());
}

bool KnowsAllOfGb18030() {
    return HasGb18030();
}

}  // namespace slotscope
