#include "base/side_file.h"

#include <random>
#include <utility>

namespace slotscope {
namespace {

// Tries before giving up on a name that is taken: only someone who could guess them takes one.
constexpr int kNameTries = 16;

// Twelve letters and digits from the system's randomness: 62 bits, more than anyone guesses.
std::string UnguessableName() {
    static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kCharacters - 2);
    std::string name;
    for (int i = 0; i < 12; ++i) {
        name += kCharacters[pick(random)];
    }
    return name;
}

}  // namespace

SideFile::SideFile(std::string target, std::string_view suffix, Access access)
    : target_(std::move(target)) {
    // A new file is made readable by its owner alone until it takes the target's permissions,
    // so the target's readers never widen while it is written.
    takePermissions_ = access == Access::AsTarget && IsRegularFile(target_);
    if (IsSpecialFile(target_)) {
        return;  // a device or a pipe stays what it is: no file is put in its place
    }
    const bool ownerOnly = access == Access::OwnerOnly || takePermissions_;
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        std::string path = target_ + "." + UnguessableName() + std::string(suffix);
        const OutputFile::CreateResult result = file_.CreateNew(path, ownerOnly);
        if (result == OutputFile::CreateResult::Created) {
            path_ = std::move(path);
            return;
        }
        if (result == OutputFile::CreateResult::Failed) {
            return;
        }
    }
}

SideFile::~SideFile() {
    Discard();
}

bool SideFile::Write(std::string_view bytes) {
    failed_ = failed_ || !created() || !file_.Write(bytes);
    return !failed_;
}

bool SideFile::Commit() {
    if (!created()) {
        return false;
    }
    if (failed_ || (takePermissions_ && !file_.TakePermissionsOf(target_)) || !file_.Close() ||
        !PutFileInPlace(path_, target_)) {
        Discard();
        return false;
    }
    path_.clear();
    return true;
}

void SideFile::Discard() {
    if (created()) {
        file_.Close();
        RemoveFile(path_);
        path_.clear();
    }
}

bool ReplaceFileContents(const std::string& utf8Path, std::string_view bytes,
                         SideFile::Access access, std::string_view suffix) {
    SideFile file(utf8Path, suffix, access);
    return file.Write(bytes) && file.Commit();
}

}  // namespace slotscope
