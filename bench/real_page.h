#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text_codec.h"

// The real 177 KB result page from the shared fixtures, read once; empty where they are absent.
inline const std::u16string& RealPage() {
    static const std::u16string page = [] {
        std::ifstream in(std::filesystem::path(SLOTSCOPE_SHARED_DIR) / "fixtures" / "real-pages" /
                             "baidu_search_results.html",
                         std::ios::binary);
        return slotscope::DecodeUtf8(
            std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    }();
    return page;
}
