#pragma once

#include <string>
#include <string_view>

namespace slotscope::testing {

// Bodies as a server sends them with Content-Encoding: gzip or br. Brotli only on Linux, where
// libcurl decodes it too.
std::string Gzip(std::string_view bytes);
std::string Brotli(std::string_view bytes);

}  // namespace slotscope::testing
