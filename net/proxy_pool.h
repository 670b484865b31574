#pragma once

// The bookkeeping of a fetcher's proxies: which one a new request goes through, which ones have
// failed too often to be tried again, and which ones met a verification page. No network here.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "regions/proxy_address.h"

namespace slotscope {

class ProxyPool final {
  public:
    // How a request through a proxy ended, as far as the proxy is concerned.
    enum class Outcome {
        Page,          // a page arrived through it
        ProxyFailure,  // the proxy itself failed
        Verification,  // a verification page came back through it
        Other,         // any other end: the site's failure, a time-out, a stop
    };

    // A proxy's failures in a row after which it is set aside for good.
    static constexpr int kFailuresToSetAside = 3;

    explicit ProxyPool(std::vector<ProxyAddress> proxies);
    ProxyPool(const ProxyPool&) = delete;
    ProxyPool& operator=(const ProxyPool&) = delete;

    std::size_t size() const { return proxies_.size(); }
    const ProxyAddress& at(std::size_t index) const { return proxies_[index]; }

    // Takes a proxy for a request to `address`, passing over those in `tried`: a usable one
    // that has not met a verification page for this address, when there is one; then the one
    // with the fewest requests under way, ties going round the pool in its order. A proxy that
    // serves one request at a time and is busy is waited for. Nullopt when no usable proxy is
    // left or a stop was requested.
    std::optional<std::size_t> Take(const std::vector<std::size_t>& tried,
                                    const std::string& address, const std::stop_token& stop);
    // Gives back a proxy Take gave, with how its request ended; `words` say why the proxy failed.
    void Release(std::size_t index, Outcome outcome, const std::string& address = {},
                 std::string_view words = {});

    // Why no proxy is left for a request that tried `tried`: each of those and each proxy set
    // aside, as shown to a user (never a password), with the words of its last failure.
    std::string Unavailable(const std::vector<std::size_t>& tried) const;

  private:
    struct State {
        int inUse = 0;
        int failuresInARow = 0;
        bool setAside = false;
        bool oneAtATime = false;  // since it met a verification page
        std::string lastFailure;
        std::set<std::string> verificationAddresses;
    };

    // The best usable proxy not in `tried`, busy or not; nullopt when none is usable.
    std::optional<std::size_t> Choose(const std::vector<std::size_t>& tried,
                                      const std::string& address) const;
    bool Busy(std::size_t index) const;

    const std::vector<ProxyAddress> proxies_;
    mutable std::mutex mutex_;
    std::condition_variable_any released_;
    std::vector<State> states_;
    std::size_t next_ = 0;  // where the round of ties starts
};

}  // namespace slotscope
