#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>
#include <tuple>

#include "base/file_open.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

std::wstring WidePath(const std::string& utf8Path) {
    const std::u16string path = DecodeUtf8(utf8Path);
    return {path.begin(), path.end()};
}

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// A file by what the system knows it as: its volume and file index, or, for one not there yet, its
// folder's and its name in it, in the upper case the system compares names in.
struct FileKey {
    DWORD volume = 0;
    ULONGLONG index = 0;
    std::wstring name;  // empty for a file that exists

    bool operator==(const FileKey& other) const {
        return std::tie(volume, index, name) == std::tie(other.volume, other.index, other.name);
    }
};

std::optional<FileKey> ExistingKey(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL known = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    if (known == 0) {
        return std::nullopt;
    }
    return FileKey{
        information.dwVolumeSerialNumber,
        (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow,
        {}};
}

std::optional<FileKey> KeyOf(const std::wstring& path) {
    if (std::optional<FileKey> existing = ExistingKey(path)) {
        return existing;
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    // The system takes trailing dots and spaces off a name ("baidu.csv." is baidu.csv).
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
        name.pop_back();
    }
    std::optional<FileKey> key = ExistingKey(folder);
    if (!key || name.empty()) {
        return std::nullopt;
    }
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    key->name = std::move(name);
    return key;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const std::optional<FileKey> first = KeyOf(WidePath(a));
    return first.has_value() && first == KeyOf(WidePath(b));
}

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    const std::u16string wideMode = DecodeUtf8(mode);
    return _wfopen(WidePath(utf8Path).c_str(), reinterpret_cast<const wchar_t*>(wideMode.c_str()));
}

std::FILE* OpenRegularFile(const std::string& utf8Path) {
    const HANDLE file = CreateFileW(WidePath(utf8Path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                         GetFileInformationByHandle(file, &information) != 0 &&
                         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const int descriptor =
        regular ? _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY)
                : -1;
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "rb");
    if (stream == nullptr) {
        _close(descriptor);  // closes the handle too
    }
    return stream;
}

bool IsRegularFile(const std::string& utf8Path) {
    const DWORD attributes = GetFileAttributesW(WidePath(utf8Path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool IsSpecialFile(const std::string& utf8Path) {
    const DWORD attributes = GetFileAttributesW(WidePath(utf8Path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

std::string ResolvedPath(const std::string& utf8Path) {
    const HANDLE file = CreateFileW(WidePath(utf8Path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return utf8Path;
    }
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
    }
    CloseHandle(file);
    if (length == 0 || length >= path.size()) {
        return utf8Path;
    }
    path.resize(length);
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        path = L"\\" + path.substr(7);
    } else if (path.starts_with(L"\\\\?\\")) {
        path = path.substr(4);
    }
    return EncodeUtf8(std::u16string(path.begin(), path.end()));
}

bool PutFileInPlace(const std::string& from, const std::string& to) {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& utf8Path) {
    return DeleteFileW(WidePath(utf8Path).c_str()) != 0;
}

OutputFile::OpenResult OutputFile::OpenForWriting(const std::string& utf8Path) {
    Close();
    // Others may read the file while it is written (a spreadsheet opened on it mid-run).
    const HANDLE file = CreateFileW(WidePath(utf8Path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                   ? OpenResult::InUse
                   : OpenResult::Failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return OpenResult::Opened;
}

OutputFile::CreateResult OutputFile::CreateNew(const std::string& utf8Path, bool /*ownerOnly*/) {
    Close();
    // A new file takes its folder's access rules, which the user's own folders keep to the user.
    // Nothing that stands at the name is opened, a reparse point (a link) least of all.
    const HANDLE file =
        CreateFileW(WidePath(utf8Path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateResult::Exists
                                                                           : CreateResult::Failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return CreateResult::Created;
}

// Not const: on other systems it changes the file's mode.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool OutputFile::TakePermissionsOf(const std::string& /*utf8Path*/) {
    // A new file in the same folder takes the folder's access rules, as the old one did.
    return handle_ != -1;
}

// Not const, though the handle stays: it changes the file.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool OutputFile::Truncate() {
    if (handle_ == -1) {
        return false;
    }
    if (GetFileType(AsHandle(handle_)) != FILE_TYPE_DISK) {
        return true;
    }
    LARGE_INTEGER start{};
    return SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN) != 0 &&
           SetEndOfFile(AsHandle(handle_)) != 0;
}

// Not const, though the handle stays: writing changes the file.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool OutputFile::Write(std::string_view bytes) {
    if (handle_ == -1) {
        return false;
    }
    // One WriteFile per record: the C library's unbuffered stream may split a record in two.
    while (!bytes.empty()) {
        DWORD written = 0;
        if (WriteFile(AsHandle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) == 0 ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool OutputFile::Close() {
    if (handle_ == -1) {
        return true;
    }
    const BOOL closed = CloseHandle(AsHandle(handle_));
    handle_ = -1;
    return closed != 0;
}

}  // namespace slotscope
