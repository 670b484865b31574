#include <windows.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "base/text_codec.h"
#include "workbook/scratch_folder.h"

namespace slotscope {
namespace {

std::filesystem::path FromUtf8(const std::string& utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

}  // namespace

ScratchFolder::ScratchFolder() {
    // The user's own temporary folder, which other users cannot write to.
    std::wstring temp(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (length == 0 || length > temp.size()) {
        return;
    }
    temp.resize(length);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring folder =
            temp + L"slotscope-" + std::to_wstring(random()) + std::to_wstring(random());
        // Fails where the name is taken: the folder is always a new one.
        if (CreateDirectoryW(folder.c_str(), nullptr) != 0) {
            path_ = EncodeUtf8(std::u16string(folder.begin(), folder.end()));
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(FromUtf8(path_), ignored);
    }
}

std::string ScratchFolder::file(const std::string& name) const {
    return path_ + "\\" + name;
}

}  // namespace slotscope
