#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace slotscope {

// Finds the website in text, ignoring ASCII case, where it stands as a whole host name or the
// end of one (see StandsAlone), the Boyer-Moore-Horspool way: most of the text is stepped over
// by the website's length, so long attribute values cost little.
class WebsiteSearch final {
  public:
    // The website in lower case; it must outlive the search.
    explicit WebsiteSearch(std::string_view lowerWebsite);

    // An empty website is in anything. `breaks` are the offsets, in order, where the text
    // breaks into a new line (see StandsAlone).
    bool In(std::string_view text, std::span<const std::size_t> breaks = {}) const;

  private:
    std::string_view needle_;
    std::array<std::size_t, 256> shift_{};
};

}  // namespace slotscope
