#pragma once

// What slotscope-cli prints while a run goes on.

#include <mutex>
#include <string>
#include <utility>

#include "app/cli_platform.h"
#include "base/text_codec.h"
#include "core/run_fields.h"

namespace slotscope::cli {

// Everything the program prints goes to standard error through here, from the run's thread
// and from the fetching threads.
class Console final {
  public:
    explicit Console(bool quiet) : quiet_(quiet), terminal_(ErrorIsTerminal()) {}

    void Progress(const std::u16string& text) {
        if (quiet_) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (terminal_) {
            std::string line = "\r";  // back to the start of the line, then clear its rest
            line += EncodeUtf8(text);
            line += "\x1b[K";
            Write(line);
            progressShown_ = true;
        } else {
            Write(EncodeUtf8(text) + "\n");
        }
    }

    void Note(const std::string& line) {
        if (quiet_) {
            return;
        }
        Line(line);
    }

    // Shown even when quiet.
    void Line(const std::string& line) {
        std::lock_guard lock(mutex_);
        EndProgressLine();
        Write(line + "\n");
    }

  private:
    void EndProgressLine() {
        if (progressShown_) {
            Write("\r\x1b[K");
            progressShown_ = false;
        }
    }
    static void Write(const std::string& bytes) { WriteError(bytes); }

    const bool quiet_;
    const bool terminal_;
    bool progressShown_ = false;
    std::mutex mutex_;
};

class ConsoleFields final : public MemoryRunFields {
  public:
    ConsoleFields(std::u16string keywordList, std::u16string website, Console& console)
        : MemoryRunFields(std::move(keywordList), std::move(website)), console_(console) {}

    void SetProgress(const std::u16string& text) override {
        MemoryRunFields::SetProgress(text);
        console_.Progress(text);
    }

  private:
    Console& console_;
};

}  // namespace slotscope::cli
