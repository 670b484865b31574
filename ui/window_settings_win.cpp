// The settings' places and the cookie's keeping on Windows: %APPDATA%\Slotscope, and the cookie
// encrypted for the user with DPAPI, so the file is of no use to another account or machine.
#include <windows.h>
// After windows.h, which they need.
#include <dpapi.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>

#include "core/file_open.h"
#include "core/text_codec.h"
#include "ui/window_settings.h"

namespace slotscope {
namespace {

constexpr wchar_t kPurpose[] = L"Slotscope cookie";
constexpr std::size_t kLargestSecret = std::size_t{1024} * 1024;

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};

}  // namespace

std::string UserSettingsFolder() {
    PWSTR folder = nullptr;
    std::string path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder))) {
        const std::wstring wide(folder);
        path = EncodeUtf8(std::u16string(wide.begin(), wide.end())) + "\\Slotscope";
    }
    CoTaskMemFree(folder);
    return path;
}

bool WriteSecretFile(const std::string& utf8Path, std::string_view secret) {
    if (secret.empty()) {
        return RemoveFile(utf8Path) || !ReadWholeFile(utf8Path, kLargestSecret).has_value();
    }
    DATA_BLOB plain{static_cast<DWORD>(secret.size()),
                    reinterpret_cast<BYTE*>(const_cast<char*>(secret.data()))};
    DATA_BLOB sealed{};
    if (CryptProtectData(&plain, kPurpose, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                         &sealed) == 0) {
        return false;
    }
    const std::unique_ptr<BYTE, LocalFreeDeleter> owned(sealed.pbData);
    const std::string fresh = utf8Path + ".new";
    std::FILE* file = OpenFile(fresh, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(sealed.pbData, 1, sealed.cbData, file) == sealed.cbData;
    if (std::fclose(file) != 0 || !written || !PutFileInPlace(fresh, utf8Path)) {
        RemoveFile(fresh);
        return false;
    }
    return true;
}

std::optional<std::string> ReadSecretFile(const std::string& utf8Path) {
    std::optional<std::string> bytes = ReadWholeFile(utf8Path, kLargestSecret);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    DATA_BLOB sealed{static_cast<DWORD>(bytes->size()), reinterpret_cast<BYTE*>(bytes->data())};
    DATA_BLOB plain{};
    if (CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                           &plain) == 0) {
        return std::nullopt;  // another user's, another machine's, or not ours
    }
    const std::unique_ptr<BYTE, LocalFreeDeleter> owned(plain.pbData);
    return std::string(reinterpret_cast<const char*>(plain.pbData), plain.cbData);
}

}  // namespace slotscope
