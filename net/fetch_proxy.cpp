#include "net/fetch_proxy.h"

#include <cstdlib>

#include "net/tls_platform.h"

namespace slotscope {
namespace {

// What a SOCKS proxy's refusal means, in words for a status text.
std::string SocksReason(long proxyError) {
    switch (static_cast<CURLproxycode>(proxyError)) {
        case CURLPX_USER_REJECTED:
            return "refused the user name or password";
        case CURLPX_NO_AUTH:
            return "accepts none of the ways of logging in offered";
        case CURLPX_REPLY_CONNECTION_REFUSED:
            return "could not connect to the site (connection refused)";
        case CURLPX_REPLY_HOST_UNREACHABLE:
        case CURLPX_REPLY_NETWORK_UNREACHABLE:
        case CURLPX_RESOLVE_HOST:
            return "could not reach the site";
        case CURLPX_REPLY_NOT_ALLOWED:
            return "does not allow the connection";
        case CURLPX_REPLY_GENERAL_SERVER_FAILURE:
            return "failed to connect to the site";
        case CURLPX_CLOSED:
        case CURLPX_RECV_ADDRESS:
        case CURLPX_RECV_AUTH:
        case CURLPX_RECV_CONNECT:
        case CURLPX_RECV_REQACK:
            return "closed the connection during its handshake";
        case CURLPX_BAD_VERSION:
            return "does not speak SOCKS5";
        default:
            return "failed its handshake (SOCKS error " + std::to_string(proxyError) + ")";
    }
}

bool IsTlsFailure(CURLcode code) {
    switch (code) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return true;
        default:
            return false;
    }
}

// Whether the transfer got as far as sending its request: past the connection, the proxy's
// handshake and its tunnel.
bool Sent(CURL* easy) {
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    return pretransfer != 0;
}

// Why a transfer that `code` ended failed at the proxy, in words; empty when it did not.
std::string Reason(CURL* easy, const ProxyAddress& proxy, CURLcode code) {
    long connectStatus = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    // Proxies answer a tunnel request without the right credentials with 407, some with 401.
    if (connectStatus == 407 || connectStatus == 401) {
        return proxy.HasCredentials() ? "refused the user name or password"
                                      : "asks for a user name and password";
    }
    if (connectStatus != 0 && (connectStatus < 200 || connectStatus >= 300)) {
        return "opened no tunnel to the site (HTTP status " + std::to_string(connectStatus) + ")";
    }
    switch (code) {
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "its name could not be resolved";
        case CURLE_COULDNT_CONNECT: {
            // Through a proxy the only connection made here is the one to it.
            curl_off_t connected = 0;
            curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
            return connected == 0 ? "could not be reached" : "";
        }
        case CURLE_PROXY: {
            long proxyError = CURLPX_OK;
            curl_easy_getinfo(easy, CURLINFO_PROXY_ERROR, &proxyError);
            return SocksReason(proxyError);
        }
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            // An HTTP proxy is asked for a tunnel first: a connection that ended before the
            // tunnel was open and the request could be sent was the proxy's alone.
            return proxy.scheme != ProxyAddress::Scheme::Socks5 && connectStatus == 0 && !Sent(easy)
                       ? "closed the connection before opening a tunnel"
                       : "";
        case CURLE_OPERATION_TIMEDOUT:
            // Time ran out before the request could be sent: the proxy took the connection but
            // did not open the way to the site.
            return Sent(easy) ? "" : "did not open the way to the site in time";
        default:
            // Before a tunnel is open, a TLS failure can only be the https proxy's own.
            if (proxy.scheme == ProxyAddress::Scheme::Https && connectStatus == 0 &&
                IsTlsFailure(code)) {
                return std::string("failed its TLS handshake (") + curl_easy_strerror(code) + ")";
            }
            return "";
    }
}

}  // namespace

std::string NoProxyHosts() {
    const char* environment = std::getenv("no_proxy");
    if (environment == nullptr || *environment == '\0') {
        environment = std::getenv("NO_PROXY");
    }
    std::string hosts = environment != nullptr ? environment : "";
    if (hosts == "*") {
        return hosts;
    }
    return hosts + (hosts.empty() ? "" : ",") + "localhost,127.0.0.0/8,::1";
}

void UseProxy(CURL* easy, const ProxyAddress* proxy, const std::string& noProxy) {
    if (proxy == nullptr) {
        curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
        return;
    }
    // Every host, this machine's too, goes through the proxy given; the environment's proxy
    // variables play no part.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy->ForTransport().c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    // An HTTP proxy is asked for a tunnel to every site, http ones too: its own answers are then
    // told apart from the site's, and it passes the request on as it is.
    if (proxy->scheme != ProxyAddress::Scheme::Socks5) {
        curl_easy_setopt(easy, CURLOPT_HTTPPROXYTUNNEL, 1L);
    }
    if (proxy->HasCredentials()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy->user.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
    }
    // An https proxy's certificate is verified as a server's is (curl's default, kept explicit).
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_OPTIONS, PlatformSslOptions());
}

std::string ProxyFailureWords(CURL* easy, const ProxyAddress& proxy, CURLcode code) {
    return Reason(easy, proxy, code);
}

}  // namespace slotscope
