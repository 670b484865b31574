#include "net/proxy_pool.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace slotscope {

ProxyPool::ProxyPool(std::vector<ProxyAddress> proxies)
    : proxies_(std::move(proxies)), states_(proxies_.size()) {}

bool ProxyPool::Busy(std::size_t index) const {
    return states_[index].oneAtATime && states_[index].inUse > 0;
}

std::optional<std::size_t> ProxyPool::Choose(const std::vector<std::size_t>& tried,
                                             const std::string& address) const {
    std::optional<std::size_t> best;
    // Lower is better: met a verification page for the address, waits, requests under way,
    // place in the round.
    std::tuple<bool, bool, int, std::size_t> bestKey;
    for (std::size_t index = 0; index < proxies_.size(); ++index) {
        const State& state = states_[index];
        if (state.setAside || std::find(tried.begin(), tried.end(), index) != tried.end()) {
            continue;
        }
        const std::tuple key(state.verificationAddresses.contains(address), Busy(index),
                             state.inUse, (index + proxies_.size() - next_) % proxies_.size());
        if (!best || key < bestKey) {
            best = index;
            bestKey = key;
        }
    }
    return best;
}

std::optional<std::size_t> ProxyPool::Take(const std::vector<std::size_t>& tried,
                                           const std::string& address,
                                           const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    std::optional<std::size_t> chosen;
    // Chosen again at every release: a proxy waited for may be set aside meanwhile, or another
    // may come free.
    const bool ready = released_.wait(lock, stop, [&] {
        chosen = Choose(tried, address);
        return !chosen || !Busy(*chosen);
    });
    if (!ready || !chosen) {
        return std::nullopt;
    }
    ++states_[*chosen].inUse;
    next_ = (*chosen + 1) % proxies_.size();
    return chosen;
}

void ProxyPool::Release(std::size_t index, Outcome outcome, const std::string& address,
                        std::string_view words) {
    {
        std::lock_guard lock(mutex_);
        State& state = states_[index];
        --state.inUse;
        switch (outcome) {
            case Outcome::Page:
                state.failuresInARow = 0;
                break;
            case Outcome::ProxyFailure:
                state.lastFailure = words;
                if (++state.failuresInARow >= kFailuresToSetAside) {
                    state.setAside = true;
                }
                break;
            case Outcome::Verification:
                state.oneAtATime = true;
                state.verificationAddresses.insert(address);
                break;
            case Outcome::Other:
                break;
        }
    }
    released_.notify_all();
}

std::string ProxyPool::Unavailable(const std::vector<std::size_t>& tried) const {
    std::lock_guard lock(mutex_);
    std::string reason = "proxy unavailable";
    const char* separator = ": ";
    for (std::size_t index = 0; index < proxies_.size(); ++index) {
        if (!states_[index].setAside &&
            std::find(tried.begin(), tried.end(), index) == tried.end()) {
            continue;
        }
        reason += separator + proxies_[index].Shown();
        if (!states_[index].lastFailure.empty()) {
            reason += " (" + states_[index].lastFailure + ")";
        }
        separator = "; ";
    }
    return reason;
}

}  // namespace slotscope
