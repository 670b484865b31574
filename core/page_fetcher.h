#pragma once

#include <stop_token>
#include <string>
#include <utility>
#include <variant>

#include "page/page_kind.h"

namespace slotscope {

enum class FetchFailureKind {
    Network,     // no connection, name not resolved, connection reset
    Timeout,     // the request did not complete in time
    HttpStatus,  // the server answered with an error status
    TooLarge,    // the body exceeded the size limit
    Blocked,     // a verification page came back instead of results
    Stopped,     // the run was asked to stop while the request was under way
    Proxy,       // the proxy could not be reached, refused the credentials or failed its handshake
};

struct FetchFailure {
    FetchFailureKind kind = FetchFailureKind::Network;
    std::string reason;  // short, for a log line or a status text
};

// A fetched page: its text and, when the page's bytes are already the parser's input (UTF-8
// without NUL), those bytes, so that the check need not encode the text again.
struct FetchedPage {
    std::u16string text;
    std::string input;  // EncodeUtf8WithoutNul(text), or empty when not kept
};

// The body of a fetched page as text, or why there is none.
class FetchResult final {
  public:
    static FetchResult Page(std::u16string body, std::string input = {}) {
        return FetchResult(FetchedPage{std::move(body), std::move(input)});
    }
    static FetchResult Failed(FetchFailureKind kind, std::string reason) {
        return FetchResult(FetchFailure{kind, std::move(reason)});
    }

    bool ok() const { return std::holds_alternative<FetchedPage>(value_); }
    // Only when ok().
    const std::u16string& body() const& { return std::get<FetchedPage>(value_).text; }
    std::u16string&& body() && { return std::move(std::get<FetchedPage>(value_).text); }
    const std::string& input() const { return std::get<FetchedPage>(value_).input; }
    // Only when !ok().
    const FetchFailure& failure() const { return std::get<FetchFailure>(value_); }

  private:
    explicit FetchResult(std::variant<FetchedPage, FetchFailure> value)
        : value_(std::move(value)) {}

    std::variant<FetchedPage, FetchFailure> value_;
};

// How one request is made; the defaults are those of a search request.
struct FetchOptions {
    std::string referer;       // sent as the Referer header when not empty
    bool sideRequest = false;  // its answer plays no part in the check: one try, a short time-out
    PageKind page = PageKind::Desktop;  // the browser the request comes from
};

// One request: where, and how.
struct PageRequest {
    std::string address;
    FetchOptions options;
};

// Fetches the whole page at an address. A run that fetches ahead calls FetchPage from several
// threads at once, so implementations must allow concurrent calls. A stop request should end a
// call promptly with FetchFailureKind::Stopped.
class PageFetcher {
  public:
    virtual ~PageFetcher() = default;
    virtual FetchResult FetchPage(const std::string& address, const FetchOptions& options,
                                  std::stop_token stop) = 0;

    FetchResult FetchPage(const std::string& address, std::stop_token stop) {
        return FetchPage(address, FetchOptions{}, std::move(stop));
    }

  protected:
    PageFetcher() = default;
    PageFetcher(const PageFetcher&) = default;
    PageFetcher& operator=(const PageFetcher&) = default;
};

}  // namespace slotscope
