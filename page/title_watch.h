#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace slotscope {

// Watches for the page's <title> and tells whether it is a search's own: trimmed, it ends with
// "_百度搜索" or begins with "百度搜索_"; on the phone page it may also end with "- 百度".
class TitleWatch final {
  public:
    explicit TitleWatch(bool phone) : phone_(phone) {}

    bool found() const { return found_; }

    void OnStart(std::size_t depth, std::string_view element) {
        if (depth_ == 0 && !found_ && element == "title") {
            depth_ = depth;
            title_.clear();
        }
    }

    // True when the element ending closes a search's title.
    bool OnEnd(std::size_t depth) {
        if (depth_ == 0 || depth != depth_) {
            return false;
        }
        depth_ = 0;
        return Decide();
    }

    void OnText(std::string_view text) {
        // A title longer than any search's is no search's.
        if (depth_ != 0 && title_.size() < kMaxTitleBytes) {
            title_.append(text);
        }
    }

  private:
    static constexpr std::size_t kMaxTitleBytes = 4096;

    bool Decide();

    const bool phone_;
    std::size_t depth_ = 0;  // of the title element being read; 0 outside one
    std::string title_;
    bool found_ = false;
};

}  // namespace slotscope
