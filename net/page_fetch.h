#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/page_fetcher.h"
#include "core/run_limits.h"
#include "regions/proxy_address.h"

namespace slotscope {

struct FetchSettings {
    // For the whole request: connecting, redirects and the body together.
    std::chrono::milliseconds timeout = limits::kRequestTimeout;
    // Waits before the second and third tries of a request that failed in a way worth trying
    // again (no connection, connection reset, a 5xx status).
    std::vector<std::chrono::milliseconds> retryDelays = {std::chrono::seconds(1),
                                                          std::chrono::seconds(2)};
    // For a proxy to take a connection and open the way to the site (see ProxyFailureWords).
    std::chrono::milliseconds proxyConnectTimeout = limits::kProxyConnectTimeout;
    // For a side request (the home pages at the start of a run), which is tried once only.
    std::chrono::milliseconds sideRequestTimeout = limits::kSideRequestTimeout;
    // A body larger than this (after decompression) is a failure, read no further.
    std::size_t maxBodyBytes = limits::kMaxBodyBytes;
    // The user's own cookies, as lines of a Netscape cookie file (see ReadSessionCookies): in
    // the jar from the start, beside those the servers set.
    std::vector<std::string> cookies;
    // When not empty, every request goes through one of these proxies, to this machine's
    // addresses too, and never through the machine's own connection; the environment's proxy
    // variables play no part. Host names are resolved by the proxy.
    std::vector<ProxyAddress> proxies;
};

// Fetches pages over HTTP and HTTPS with libcurl. One fetcher serves one run: connections are
// kept open and reused between its requests, and the cookies servers set live as long as it
// does. FetchPage may be called from several threads at once; each concurrent call gets its own
// connection. Without proxies in the settings, the proxy variables of the environment
// (http_proxy, https_proxy, no_proxy) are honoured; this machine's own addresses are then never
// reached through a proxy. With them, each connection is bound to one proxy of the pool (see
// ProxyPool): a request the proxy itself fails is tried at once through another, and when none
// is left it fails as FetchFailureKind::Proxy, "proxy unavailable: ...".
class HttpPageFetcher final : public PageFetcher {
  public:
    explicit HttpPageFetcher(FetchSettings settings = {});
    ~HttpPageFetcher() override;
    HttpPageFetcher(const HttpPageFetcher&) = delete;
    HttpPageFetcher& operator=(const HttpPageFetcher&) = delete;

    using PageFetcher::FetchPage;

    // A GET of the whole address. Redirects (at most 5, to http and https) are followed; a
    // redirect to a verification address, a verification page, an HTTP status of 400 or more,
    // a time-out or a body over the limit is a failure of its kind. A stop request ends the
    // call within a fraction of a second, as Stopped. A side request is tried once, within the
    // shorter of the two time-outs.
    FetchResult FetchPage(const std::string& address, const FetchOptions& options,
                          std::stop_token stop) override;

  private:
    struct Shared;
    class Connection;

    // A connection through the proxy of the pool at `proxy`, or without one (nullopt).
    std::unique_ptr<Connection> Lease(std::optional<std::size_t> proxy);
    void Return(std::unique_ptr<Connection> connection);
    // The request with its tries again, through one proxy (or none).
    FetchResult Through(std::optional<std::size_t> proxy, const std::string& address,
                        const FetchOptions& options, std::chrono::milliseconds timeout,
                        const std::stop_token& stop);

    const FetchSettings settings_;
    std::unique_ptr<Shared> shared_;
};

}  // namespace slotscope
