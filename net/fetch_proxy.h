#pragma once

// Requests through the proxy a fetcher is given: how the easy handle is told of it, and which
// ends of a transfer are the proxy's own failures.

#include <curl/curl.h>

#include <optional>
#include <string>

#include "core/page_fetcher.h"
#include "regions/proxy_address.h"

namespace slotscope {

// Sends every request of `easy` through `proxy`, credentials apart from its address; without
// one, the environment's proxies are used except for the hosts in `noProxy`.
void UseProxy(CURL* easy, const std::optional<ProxyAddress>& proxy, const std::string& noProxy);

// The failure of the proxy itself that ended a transfer through it with `code`, or nullopt
// when the proxy did its part. The reason names the proxy as Shown(), never with its password.
std::optional<FetchFailure> ProxyFailure(CURL* easy, const ProxyAddress& proxy, CURLcode code);

}  // namespace slotscope
