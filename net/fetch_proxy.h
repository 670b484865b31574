#pragma once

// Requests through a proxy of the fetcher's pool: how the easy handle is told of it, and which
// ends of a transfer are the proxy's own failures.

#include <curl/curl.h>

#include <string>

#include "regions/proxy_address.h"

namespace slotscope {

// The hosts no request goes to through a proxy: the environment's no_proxy, and this machine,
// as browsers have it. A request to this machine may carry credentials in clear (the user's
// cookies over http, a robot's token, a local relay's login), which a proxy would see.
std::string NoProxyHosts();

// Sends every request of `easy` through `proxy`, credentials apart from its address; with
// none (nullptr), the environment's proxies are used except for the hosts in `noProxy`.
void UseProxy(CURL* easy, const ProxyAddress* proxy, const std::string& noProxy);

// Why the proxy itself failed, ending a transfer through it with `code`, in words that name
// neither the proxy nor its credentials; empty when the proxy did its part.
std::string ProxyFailureWords(CURL* easy, const ProxyAddress& proxy, CURLcode code);

}  // namespace slotscope
