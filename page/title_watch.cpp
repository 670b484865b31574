#include "page/title_watch.h"

#include "page/markup_space.h"

namespace slotscope {

bool TitleWatch::Decide() {
    const std::string_view trimmed = TrimSpace(title_);
    found_ = trimmed.ends_with("_百度搜索") || trimmed.starts_with("百度搜索_") ||
             (phone_ && trimmed.ends_with("- 百度"));
    return found_;
}

}  // namespace slotscope
