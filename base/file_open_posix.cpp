#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <utility>

#include "base/file_open.h"

namespace slotscope {
namespace {

// A file by what the system knows it as: its device and inode, or, for one not there yet, its
// folder's and its name in it.
struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;  // empty for a file that exists

    bool operator==(const FileKey& other) const {
        return std::tie(device, inode, name) == std::tie(other.device, other.inode, other.name);
    }
};

std::optional<FileKey> KeyOf(std::string path) {
    struct stat status {};
    // A dangling link is where its file would be made: followed by hand, a bounded number of
    // times as the system does.
    for (int links = 0; links < 40; ++links) {
        if (::stat(path.c_str(), &status) == 0) {
            return FileKey{status.st_dev, status.st_ino, {}};
        }
        std::string target(4096, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            break;
        }
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (target.starts_with('/') || slash == std::string::npos) {
            path = std::move(target);
        } else {
            path.resize(slash + 1);
            path += target;
        }
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || ::stat(folder.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileKey{status.st_dev, status.st_ino, name};
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const std::optional<FileKey> first = KeyOf(a);
    return first.has_value() && first == KeyOf(b);
}

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    return std::fopen(utf8Path.c_str(), mode);
}

std::FILE* OpenRegularFile(const std::string& utf8Path) {
    // Without blocking: opening a pipe to read waits for a writer that may never come.
    const int descriptor = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat status {};
    const int flags = ::fcntl(descriptor, F_GETFL);
    std::FILE* file = nullptr;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && flags != -1 &&
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0) {
        file = ::fdopen(descriptor, "rb");
    }
    if (file == nullptr) {
        ::close(descriptor);
    }
    return file;
}

bool IsRegularFile(const std::string& utf8Path) {
    struct stat status {};
    return ::stat(utf8Path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsSpecialFile(const std::string& utf8Path) {
    struct stat status {};
    return ::lstat(utf8Path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISLNK(status.st_mode);
}

std::string ResolvedPath(const std::string& utf8Path) {
    char* resolved = ::realpath(utf8Path.c_str(), nullptr);
    if (resolved == nullptr) {
        return utf8Path;
    }
    std::string path(resolved);
    std::free(resolved);  // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    return path;
}

bool PutFileInPlace(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& utf8Path) {
    return ::unlink(utf8Path.c_str()) == 0;
}

OutputFile::OpenResult OutputFile::OpenForWriting(const std::string& utf8Path) {
    Close();
    const int descriptor = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return OpenResult::Failed;
    }
    handle_ = descriptor;
    return OpenResult::Opened;
}

OutputFile::CreateResult OutputFile::CreateNew(const std::string& utf8Path, bool ownerOnly) {
    Close();
    const int descriptor =
        ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
               ownerOnly ? S_IRUSR | S_IWUSR : 0666);
    if (descriptor < 0) {
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    }
    handle_ = descriptor;
    // The umask takes bits away; one of 0777 would leave the owner none.
    if (ownerOnly && ::fchmod(descriptor, S_IRUSR | S_IWUSR) != 0) {
        Close();
        ::unlink(utf8Path.c_str());
        return CreateResult::Failed;
    }
    return CreateResult::Created;
}

// Not const, though the handle stays: it changes the file.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool OutputFile::TakePermissionsOf(const std::string& utf8Path) {
    struct stat status {};
    return handle_ >= 0 && ::stat(utf8Path.c_str(), &status) == 0 &&
           ::fchmod(static_cast<int>(handle_), status.st_mode & 07777) == 0;
}

// Not const, though the handle stays: it changes the file.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool OutputFile::Truncate() {
    struct stat status {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &status) != 0) {
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        return true;
    }
    return ::ftruncate(static_cast<int>(handle_), 0) == 0 &&
           ::lseek(static_cast<int>(handle_), 0, SEEK_SET) == 0;
}

// Not const, though the handle stays: writing changes the file.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool OutputFile::Write(std::string_view bytes) {
    if (handle_ < 0) {
        return false;
    }
    // One call writes a record whole; more are needed only when the disk fills up mid-record.
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool OutputFile::Close() {
    if (handle_ < 0) {
        return true;
    }
    const int result = ::close(static_cast<int>(handle_));
    handle_ = -1;
    return result == 0;
}

}  // namespace slotscope
