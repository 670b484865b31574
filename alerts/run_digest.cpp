#include "alerts/run_digest.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <utility>

namespace slotscope {
namespace {

// The kinds of moves, the worst first.
constexpr std::array<std::string_view, 4> kMoves = {"lost", "down", "gained", "up"};

std::size_t Rank(std::string_view kind) {
    return static_cast<std::size_t>(std::find(kMoves.begin(), kMoves.end(), kind) - kMoves.begin());
}

bool Moved(const StoredChange& change) {
    return Rank(change.kind) < kMoves.size();
}

// Whether the side was compared with an earlier check at all.
bool Compared(const StoredChange& change) {
    return change.kind != "first" && change.kind != "failed" && !change.kind.empty();
}

// The side's move, against `before`, the check it was compared with (none where the history no
// longer holds it).
MovedSlot MoveOf(const StoredResult& now, bool left, const std::optional<StoredResult>& before) {
    const StoredSide& side = left ? now.left : now.right;
    MovedSlot moved{.keyword = now.keyword,
                    .page = now.page,
                    .left = left,
                    .before = {},
                    .after = side.label,
                    .kind = side.change.kind,
                    .by = side.change.by.value_or(0),
                    .holder = {},
                    .beforeSlot = 0};
    if (before) {
        const StoredSide& was = left ? before->left : before->right;
        moved.before = was.label;
        moved.beforeSlot = was.slot.value_or(0);
    }
    const auto slot = static_cast<std::size_t>(moved.beforeSlot);
    if (slot > 0 && side.slot != moved.beforeSlot && side.sites && side.sites->size() >= slot) {
        moved.holder = (*side.sites)[slot - 1];
    }
    return moved;
}

// The keyword's latest check before `run` in one of the `earlier` runs that did not fail: the
// one the history compared it with. False when the history could not be read.
bool ReadBefore(HistoryReader& reader, const StoredResult& now, long long run,
                const std::set<long long>& earlier, std::optional<StoredResult>& before) {
    return reader.ResultsOfKeyword(now.page, now.keyword, earlier.empty() ? run : *earlier.begin(),
                                   [&](const StoredResult& result) {
                                       if (earlier.contains(result.run) && !result.failed) {
                                           before = result;
                                       }
                                       return true;
                                   });
}

}  // namespace

tl::expected<RunDigest, std::string> DigestOfRun(HistoryReader& reader, const std::string& site,
                                                 long long run) {
    const auto runs = reader.Runs(site, 0);
    if (!runs) {
        return tl::unexpected(runs.error());
    }
    const auto found = std::find_if(runs->begin(), runs->end(),
                                    [&](const StoredRun& stored) { return stored.id == run; });
    if (found == runs->end()) {
        return tl::unexpected("the history holds no run " + std::to_string(run) + " of " + site);
    }
    RunDigest digest{.site = site,
                     .device = found->device,
                     .region = found->region,
                     .started = found->started,
                     .keywords = found->keywords,
                     .failed = found->failed,
                     .blocked = found->blocked,
                     .compared = false,
                     .moved = {}};
    // The earlier runs this one was compared with: the site's from the same region.
    std::set<long long> earlier;
    for (const StoredRun& stored : *runs) {
        if (stored.id < run && stored.region == found->region) {
            earlier.insert(stored.id);
        }
    }
    std::vector<StoredResult> changed;
    const bool read = reader.ResultsOfRun(run, [&](const StoredResult& result) {
        digest.compared =
            digest.compared || Compared(result.left.change) || Compared(result.right.change);
        if (Moved(result.left.change) || Moved(result.right.change)) {
            changed.push_back(result);
        }
        return true;
    });
    if (!read) {
        return tl::unexpected(reader.problem());
    }
    for (const StoredResult& now : changed) {
        std::optional<StoredResult> before;
        if (!ReadBefore(reader, now, run, earlier, before)) {
            return tl::unexpected(reader.problem());
        }
        for (const bool left : {true, false}) {
            if (Moved(left ? now.left.change : now.right.change)) {
                digest.moved.push_back(MoveOf(now, left, before));
            }
        }
    }
    std::stable_sort(digest.moved.begin(), digest.moved.end(),
                     [](const MovedSlot& a, const MovedSlot& b) {
                         const std::size_t rankA = Rank(a.kind);
                         const std::size_t rankB = Rank(b.kind);
                         return rankA != rankB ? rankA < rankB : a.by > b.by;
                     });
    return digest;
}

}  // namespace slotscope
