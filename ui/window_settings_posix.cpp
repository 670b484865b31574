// The settings' places and the cookie's keeping on POSIX systems: the XDG settings folder, and a
// file only its owner may read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/file_open.h"
#include "ui/window_settings.h"

namespace slotscope {

std::string UserSettingsFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/slotscope";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/slotscope";
}

bool WriteSecretFile(const std::string& utf8Path, std::string_view secret) {
    if (secret.empty()) {
        return ::unlink(utf8Path.c_str()) == 0 || errno == ENOENT;
    }
    // Made for its owner alone from the first byte; a file left there by a crash is replaced,
    // not followed where it links.
    const std::string fresh = utf8Path + ".new";
    ::unlink(fresh.c_str());
    const int file = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            S_IRUSR | S_IWUSR);
    if (file < 0) {
        return false;
    }
    bool written = ::fchmod(file, S_IRUSR | S_IWUSR) == 0;
    for (std::size_t done = 0; written && done < secret.size();) {
        const ssize_t wrote = ::write(file, secret.data() + done, secret.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        written = wrote > 0;
        done += written ? static_cast<std::size_t>(wrote) : 0;
    }
    if (::close(file) != 0 || !written || !PutFileInPlace(fresh, utf8Path)) {
        ::unlink(fresh.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> ReadSecretFile(const std::string& utf8Path) {
    return ReadWholeFile(utf8Path, std::size_t{1024} * 1024);
}

}  // namespace slotscope
