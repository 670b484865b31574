#pragma once

// What a run holds for an alert, read back from the history: its place, its counts, and every
// slot that moved since the run before, with who holds it now.

#include <string>
#include <tl/expected.hpp>
#include <vector>

#include "history/history_read.h"

namespace slotscope {

// A side of a keyword whose slot moved since the run before.
struct MovedSlot {
    std::string keyword;
    std::string page;    // "pc" or "mobile"
    bool left = true;    // the left side (the top on the phone), else the right (the bottom)
    std::string before;  // the labels, as the results files wrote them
    std::string after;
    std::string kind;  // "lost", "down", "gained" or "up"
    int by = 0;        // slots, for "down" and "up"
    // The site shown now at the slot the user held before; empty where there is none.
    std::string holder;
    int beforeSlot = 0;  // 0 where the user held no slot
};

struct RunDigest {
    std::string site;     // as the history keeps it
    std::string device;   // "pc", "mobile" or "both"
    std::string region;   // empty for the machine's own connection
    std::string started;  // UTC, as the history keeps it
    int keywords = 0;
    int failed = 0;
    int blocked = 0;
    bool compared = false;         // some keyword had an earlier check to compare with
    std::vector<MovedSlot> moved;  // the worst first: lost, down by most, gained, up by most

    // More than half the keywords failed: the check itself is in trouble.
    bool troubled() const { return keywords > 0 && failed * 2 > keywords; }
};

// The digest of run `run` of `site`; or why it could not be read.
tl::expected<RunDigest, std::string> DigestOfRun(HistoryReader& reader, const std::string& site,
                                                 long long run);

}  // namespace slotscope
