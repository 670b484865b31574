#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_history.h"

namespace slotscope {

// A failed check's kind as the history's "failed" column holds it ("fetch", "blocked",
// "unreadable", "not_result_page"; null for none), and back (None for a name it does not know).
const char* StoredFailureName(CheckFailure failure);
// The history's word for a side's change: "up", "down", "same", "gained", "lost", "none",
// "failed" or "first".
const char* ChangeName(ChangeKind kind);
CheckFailure StoredFailureKind(std::string_view name);

// The history kept in an SQLite file (slotscope.db): every run with its keywords' outcomes, and
// each keyword's change against the latest earlier run of the site (as SiteToCheck gives it,
// which is how runs store it) that checked it on the same
// page without failure. Each keyword's row is committed as soon as it is recorded, in the
// file's write-ahead log, so a run killed at any moment keeps every row it recorded. Two runs may
// write one file at once: each waits for the other up to `busyTimeout`, then tries once more.
// A file that cannot be opened or written, is not a database, or was made by a newer version of
// the program is never overwritten, truncated or deleted: the run goes on without history, and
// problem() says why.
class HistoryFile final : public RunHistory {
  public:
    // Where the runs' times come from; the system clock when none is given.
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    HistoryFile(std::string utf8Path, std::string programVersion,
                std::chrono::milliseconds busyTimeout = std::chrono::seconds(10),
                Clock clock = nullptr);
    ~HistoryFile() override;
    HistoryFile(const HistoryFile&) = delete;
    HistoryFile& operator=(const HistoryFile&) = delete;

    void Begin(std::u16string_view site, Device device, std::u16string_view region,
               std::stop_token stop) override;
    void Hold() override;
    void Record(const std::vector<KeywordOutcome>& outcomes) override;
    void Revise(const std::vector<KeywordOutcome>& outcomes) override;
    void End(const RunSummary& summary) override;
    std::string problem() const override { return problem_; }
    int keptKeywords() const override { return keptKeywords_; }
    long long RunId() const override { return run_; }
    ChangeCounts changes() const override;

    // The schema version this program writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 5;
    // The oldest schema version whose programs can read and write the files this one writes.
    static constexpr int kCompatibleVersion = 3;
    // PRAGMA application_id: the mark of a Slotscope history ("Slot").
    static constexpr int kApplicationId = 0x536c6f74;

  private:
    struct Connection;

    // Opens the file, leaving another program's or a newer one's as it is; false when the
    // history is given up.
    bool Open();
    // Brings the file to this schema and prepares the run's statements; false when given up.
    bool Prepare();
    // Runs `work` in one transaction, the one Hold took or a new one; on a failure the history
    // is given up, with the reason kept.
    template <typename Work>
    void Write(const Work& work);
    void GiveUp(const std::string& why, bool diskFull = false);
    // Keeps the keywords' rows with their changes: new rows, or those the rounds after
    // verification revise.
    void Keep(const std::vector<KeywordOutcome>& outcomes, bool revised);

    std::string path_;
    std::string version_;
    std::chrono::milliseconds busyTimeout_;
    Clock clock_;
    std::stop_token stop_;
    std::unique_ptr<Connection> connection_;
    std::string problem_;
    std::string site_;    // UTF-8
    std::string region_;  // UTF-8; empty for the machine's own connection
    long long run_ = 0;   // the run's row, once begun
    bool ended_ = false;
    // What the run is at, for what a failure loses: rows, their revisions, or its end.
    enum class Stage { Recording, Revising, Ending } stage_ = Stage::Recording;
    int keptKeywords_ = 0;                      // the keywords whose rows were committed
    bool created_ = false;                      // the file was not there before this run
    PageKind countedPage_ = PageKind::Desktop;  // the page whose changes the caption counts
    std::vector<SideChange> counted_;           // by keyword order - 1
};

// The current time in UTC as the history writes it: "2026-12-08T02:11:19Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

}  // namespace slotscope
