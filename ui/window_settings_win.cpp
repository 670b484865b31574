// The settings' places and the cookie's keeping on Windows: %APPDATA%\Slotscope, and the cookie
// encrypted for the user with DPAPI, so the file is of no use to another account or machine.
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <dpapi.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "base/file_open.h"
#include "base/side_file.h"
#include "base/text_codec.h"
#include "ui/window_settings.h"

namespace slotscope {
namespace {

constexpr wchar_t kPurpose[] = L"Slotscope cookie";
constexpr std::size_t kLargestSecret = std::size_t{1024} * 1024;

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};

std::wstring WideText(const std::string& utf8) {
    const std::u16string text = DecodeUtf8(utf8);
    return {text.begin(), text.end()};
}

// The SID of the account the program runs as; empty when it cannot be told.
std::vector<BYTE> CurrentUserSid() {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    std::vector<BYTE> sid;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) != 0) {
        const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        const auto* bytes = static_cast<const BYTE*>(user);
        sid.assign(bytes, bytes + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

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

bool MakePrivateFolder(const std::string& utf8Path) {
    // Made inside %APPDATA%, whose access rules keep it to the user; it takes them.
    const std::wstring path = WideText(utf8Path);
    const int made = SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return (made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS) &&
           attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OnlyOwnerCanChange(const std::string& utf8Path) {
    const std::wstring path = WideText(utf8Path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    // A link is followed by whoever opens it, to wherever another user points it.
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreeDeleter> ownedDescriptor(descriptor);
    const std::vector<BYTE> user = CurrentUserSid();
    if (dacl == nullptr || user.empty()) {
        return false;  // no access list at all lets everyone in
    }
    constexpr ACCESS_MASK kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER |
                                     GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace) == 0) {
            return false;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = &allowed->SidStart;
        const bool trusted = EqualSid(sid, const_cast<BYTE*>(user.data())) != 0 ||
                             IsWellKnownSid(sid, WinLocalSystemSid) != 0 ||
                             IsWellKnownSid(sid, WinBuiltinAdministratorsSid) != 0 ||
                             IsWellKnownSid(sid, WinCreatorOwnerSid) != 0;
        if (!trusted && (allowed->Mask & kChanges) != 0) {
            return false;
        }
    }
    return true;
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
    return ReplaceFileContents(
        utf8Path, std::string_view(reinterpret_cast<const char*>(sealed.pbData), sealed.cbData),
        SideFile::Access::OwnerOnly);
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
