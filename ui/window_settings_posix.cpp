// The settings' places and the cookie's keeping on POSIX systems: the XDG settings folder, and a
// file only its owner may read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/side_file.h"
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

bool MakePrivateFolder(const std::string& utf8Path) {
    struct stat status {};
    if (::stat(utf8Path.c_str(), &status) == 0) {
        return S_ISDIR(status.st_mode);
    }
    // The folders it is in first ($HOME/.config), for the user alone as XDG asks.
    const std::size_t slash = utf8Path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakePrivateFolder(utf8Path.substr(0, slash))) {
        return false;
    }
    if (::mkdir(utf8Path.c_str(), S_IRWXU) != 0) {
        return errno == EEXIST && ::stat(utf8Path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }
    // The umask takes bits away; one of 0777 would leave the owner none.
    return ::chmod(utf8Path.c_str(), S_IRWXU) == 0;
}

bool OnlyOwnerCanChange(const std::string& utf8Path) {
    struct stat status {};
    if (::stat(utf8Path.c_str(), &status) != 0) {
        return false;
    }
    const bool trusted = status.st_uid == ::geteuid() || status.st_uid == 0;
    return trusted && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool WriteSecretFile(const std::string& utf8Path, std::string_view secret) {
    if (secret.empty()) {
        return ::unlink(utf8Path.c_str()) == 0 || errno == ENOENT;
    }
    // Made for its owner alone from the first byte, under a name no one could plant a link at.
    return ReplaceFileContents(utf8Path, secret, SideFile::Access::OwnerOnly);
}

std::optional<std::string> ReadSecretFile(const std::string& utf8Path) {
    return ReadWholeFile(utf8Path, std::size_t{1024} * 1024);
}

}  // namespace slotscope
