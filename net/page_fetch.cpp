#include "net/page_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "base/ascii.h"
#include "base/stop_wait.h"
#include "net/browser_identity.h"
#include "net/fetch_proxy.h"
#include "net/page_body.h"
#include "net/proxy_pool.h"
#include "net/tls_platform.h"

namespace slotscope {
namespace {

// What a request carries of the browser it comes from, made once per fetcher: by page kind,
// and whether it comes from a page of the same site.
struct Identity {
    BrowserIdentity browser;
    curl_slist* headers = nullptr;
};

// How long one wait for network activity lasts before the stop request is looked at again;
// a stop also wakes the wait at once.
constexpr int kPollMilliseconds = 100;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string_view TrimHeaderValue(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() &&
           (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
        value.remove_suffix(1);
    }
    return value;
}

// Scheme, host and path of an address: the query of a redirect target carries the address it
// came from, and with it the user's keyword, which must not decide whether it is a captcha.
std::string_view WithoutQuery(std::string_view address) {
    return address.substr(0, address.find_first_of("?#"));
}

// What one transfer collects.
struct Transfer {
    std::size_t maxBodyBytes = 0;
    std::string body;
    std::string contentType;  // of the last response (after redirects)
    bool tooLarge = false;
    bool verificationRedirect = false;
    // What a callback threw (memory running out): thrown once libcurl is done, never through
    // its C frames.
    std::exception_ptr failure;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer.body.size() + bytes > transfer.maxBodyBytes) {
        transfer.tooLarge = true;
        return 0;  // ends the transfer
    }
    try {
        transfer.body.append(data, bytes);
    } catch (...) {
        transfer.failure = std::current_exception();
        return 0;
    }
    return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (ascii::StartsWithLower(line, "http/")) {
        transfer.contentType.clear();  // a new response of the chain begins
    } else if (ascii::StartsWithLower(line, "content-type:")) {
        try {
            transfer.contentType = TrimHeaderValue(line.substr(13));
        } catch (...) {
            transfer.failure = std::current_exception();
            return 0;
        }
    } else if (ascii::StartsWithLower(line, "location:") &&
               IsVerificationAddress(WithoutQuery(TrimHeaderValue(line.substr(9))))) {
        transfer.verificationRedirect = true;
        return 0;  // no point following it
    }
    return bytes;
}

std::string Duration(std::chrono::milliseconds time) {
    return time.count() % 1000 == 0 ? std::to_string(time.count() / 1000) + " s"
                                    : std::to_string(time.count()) + " ms";
}

bool WorthRetrying(const FetchResult& result, long status) {
    if (result.ok()) {
        return false;
    }
    switch (result.failure().kind) {
        case FetchFailureKind::Network:
            return true;
        case FetchFailureKind::HttpStatus:
            return status >= 500;
        default:
            return false;
    }
}

}  // namespace

// What all connections of one fetcher share: the cookie jar, the DNS cache and TLS sessions.
struct HttpPageFetcher::Shared {
    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
    std::array<Identity, 4> identities;  // by IdentityIndex

    std::mutex idleMutex;
    // By proxy of the pool; a single list without one.
    std::vector<std::vector<std::unique_ptr<Connection>>> idle;
    const std::string noProxy = NoProxyHosts();
    ProxyPool pool;

    explicit Shared(const std::vector<ProxyAddress>& proxies)
        : idle(std::max<std::size_t>(proxies.size(), 1)), pool(proxies) {
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Shared::Lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Shared::Unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        for (const PageKind page : {PageKind::Desktop, PageKind::Phone}) {
            for (const bool sameOrigin : {false, true}) {
                Identity& identity = identities[IdentityIndex(page, sameOrigin)];
                identity.browser = RequestIdentity(page, sameOrigin);
                for (const std::string& header : identity.browser.headers) {
                    identity.headers = curl_slist_append(identity.headers, header.c_str());
                }
            }
        }
    }
    ~Shared();
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    static std::size_t IdentityIndex(PageKind page, bool sameOrigin) {
        return (page == PageKind::Phone ? 2 : 0) + (sameOrigin ? 1 : 0);
    }
    // A request with a Referer follows a link from the search's own home page.
    const Identity& IdentityOf(const FetchOptions& options) const {
        return identities[IdentityIndex(options.page, !options.referer.empty())];
    }

    static void Lock(CURL* /*handle*/, curl_lock_data data, curl_lock_access /*access*/,
                     void* user) {
        static_cast<Shared*>(user)->locks[static_cast<std::size_t>(data)].lock();
    }
    static void Unlock(CURL* /*handle*/, curl_lock_data data, void* user) {
        static_cast<Shared*>(user)->locks[static_cast<std::size_t>(data)].unlock();
    }
};

// One easy handle in its own multi handle: the multi handle keeps the open connections for
// reuse and lets a stop request wake a transfer that waits for the network.
class HttpPageFetcher::Connection final {
  public:
    // Every request of the connection goes through `proxy` (one of the pool's), or through
    // none when it is nullopt.
    Connection(const FetchSettings& settings, Shared& shared, std::optional<std::size_t> proxy)
        : shared_(shared),
          proxy_(proxy ? &shared.pool.at(*proxy) : nullptr),
          slot_(proxy.value_or(0)),
          multi_(curl_multi_init()),
          easy_(curl_easy_init()) {
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        // A transfer that is stopped or times out while its name is still being looked up ends
        // at once; without this, removing it waits for the resolver thread, however slow.
        curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy_, CURLOPT_SSL_OPTIONS, PlatformSslOptions());
        curl_easy_setopt(easy_, CURLOPT_SHARE, shared.share);
        UseProxy(easy_, proxy_, shared.noProxy);
        if (proxy_ != nullptr) {
            // A proxy that takes the connection and never answers is left as soon as one that
            // fails at once.
            curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS,
                             static_cast<long>(settings.proxyConnectTimeout.count()));
        }
        curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");  // cookies in memory only
        curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(easy_, CURLOPT_AUTOREFERER, 1L);
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_DEFAULT_PROTOCOL, "http");
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");  // every encoding curl decodes
        curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(settings.maxBodyBytes));
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_.data());
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &OnHeader);
    }
    ~Connection() {
        curl_easy_cleanup(easy_);
        curl_multi_cleanup(multi_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Its place among the idle connections: the proxy's in the pool.
    std::size_t slot() const { return slot_; }

    // One try at the address. A failure of the proxy itself has the proxy's words only as its
    // reason. `status` receives the final HTTP status (0 without an answer). `status` receives the
    // final HTTP status (0 without an answer).
    FetchResult Get(const std::string& address, const FetchOptions& options,
                    std::chrono::milliseconds timeout, const FetchSettings& settings,
                    const std::stop_token& stop, long& status) {
        Transfer transfer;
        transfer.maxBodyBytes = settings.maxBodyBytes;
        error_[0] = '\0';
        status = 0;
        Prepare(address, options, timeout, transfer);
        bool stopped = false;
        const CURLcode code = Perform(stop, stopped);
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        if (transfer.failure != nullptr) {
            std::rethrow_exception(transfer.failure);
        }
        if (stopped) {
            return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
        }
        if (proxy_ != nullptr) {
            if (std::string words = ProxyFailureWords(easy_, *proxy_, code); !words.empty()) {
                return FetchResult::Failed(FetchFailureKind::Proxy, std::move(words));
            }
        }
        return Outcome(std::move(transfer), code, status, timeout);
    }

  private:
    void Prepare(const std::string& address, const FetchOptions& options,
                 std::chrono::milliseconds timeout, Transfer& transfer) {
        const Identity& identity = shared_.IdentityOf(options);
        curl_easy_setopt(easy_, CURLOPT_URL, address.c_str());
        curl_easy_setopt(easy_, CURLOPT_USERAGENT, identity.browser.userAgent.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, identity.headers);
        curl_easy_setopt(easy_, CURLOPT_REFERER,
                         options.referer.empty() ? nullptr : options.referer.c_str());
        curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &transfer);
    }

    // Runs the transfer to its end, or until a stop request (`stopped`), and gives its code.
    CURLcode Perform(const std::stop_token& stop, bool& stopped) {
        CURLcode code = CURLE_OK;
        curl_multi_add_handle(multi_, easy_);
        {
            const std::stop_callback wake(stop, [this] { curl_multi_wakeup(multi_); });
            for (;;) {
                int running = 0;
                if (curl_multi_perform(multi_, &running) != CURLM_OK) {
                    code = CURLE_FAILED_INIT;
                    break;
                }
                if (running == 0) {
                    code = FinishedCode();
                    break;
                }
                if (stop.stop_requested() ||
                    curl_multi_poll(multi_, nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK ||
                    stop.stop_requested()) {
                    stopped = stop.stop_requested();
                    code = stopped ? CURLE_ABORTED_BY_CALLBACK : CURLE_FAILED_INIT;
                    break;
                }
            }
        }
        curl_multi_remove_handle(multi_, easy_);  // drops the connection if a transfer was cut
        return code;
    }

    // The code of the transfer the multi handle reports done.
    CURLcode FinishedCode() {
        CURLcode code = CURLE_OK;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE) {
                code = message->data.result;
            }
        }
        return code;
    }

    // What a transfer that ran to its end brought: the page, or why there is none.
    FetchResult Outcome(Transfer&& transfer, CURLcode code, long status,
                        std::chrono::milliseconds timeout) const {
        if (transfer.verificationRedirect) {
            return FetchResult::Failed(FetchFailureKind::Blocked,
                                       "redirected to a verification page");
        }
        if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            return FetchResult::Failed(FetchFailureKind::TooLarge, "page larger than 16 MiB");
        }
        if (code == CURLE_OPERATION_TIMEDOUT) {
            return FetchResult::Failed(FetchFailureKind::Timeout,
                                       "no complete answer within " + Duration(timeout));
        }
        if (code != CURLE_OK) {
            return FetchResult::Failed(FetchFailureKind::Network, error_[0] != '\0'
                                                                      ? std::string(error_.data())
                                                                      : curl_easy_strerror(code));
        }
        if (status >= 400) {
            return FetchResult::Failed(FetchFailureKind::HttpStatus,
                                       "HTTP status " + std::to_string(status));
        }
        const BodyCharset charset = DeclaredCharset(transfer.contentType, transfer.body);
        if (IsVerificationPage(transfer.body, charset)) {
            return FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
        }
        return PageOfBody(std::move(transfer.body), charset);
    }

    Shared& shared_;
    const ProxyAddress* proxy_;
    std::size_t slot_;
    CURLM* multi_;
    CURL* easy_;
    std::array<char, CURL_ERROR_SIZE> error_{};
};

HttpPageFetcher::Shared::~Shared() {
    idle.clear();  // easy handles go before the share they use
    curl_share_cleanup(share);
    for (Identity& identity : identities) {
        curl_slist_free_all(identity.headers);
    }
}

HttpPageFetcher::HttpPageFetcher(FetchSettings settings) : settings_(std::move(settings)) {
    InitCurlOnce();
    shared_ = std::make_unique<Shared>(settings_.proxies);
    if (!settings_.cookies.empty()) {
        // Into the shared jar through a handle of its own, before any request.
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_SHARE, shared_->share);
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
        for (const std::string& line : settings_.cookies) {
            curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
        }
        curl_easy_cleanup(easy);
    }
}

HttpPageFetcher::~HttpPageFetcher() = default;

std::unique_ptr<HttpPageFetcher::Connection> HttpPageFetcher::Lease(
    std::optional<std::size_t> proxy) {
    {
        std::lock_guard lock(shared_->idleMutex);
        std::vector<std::unique_ptr<Connection>>& idle = shared_->idle[proxy.value_or(0)];
        if (!idle.empty()) {
            std::unique_ptr<Connection> connection = std::move(idle.back());
            idle.pop_back();
            return connection;
        }
    }
    return std::make_unique<Connection>(settings_, *shared_, proxy);
}

void HttpPageFetcher::Return(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(shared_->idleMutex);
    shared_->idle[connection->slot()].push_back(std::move(connection));
}

FetchResult HttpPageFetcher::Through(std::optional<std::size_t> proxy, const std::string& address,
                                     const FetchOptions& options, std::chrono::milliseconds timeout,
                                     const std::stop_token& stop) {
    std::unique_ptr<Connection> connection = Lease(proxy);
    long status = 0;
    FetchResult result = connection->Get(address, options, timeout, settings_, stop, status);
    for (const std::chrono::milliseconds delay : settings_.retryDelays) {
        if (options.sideRequest || !WorthRetrying(result, status)) {
            break;
        }
        if (!WaitUnlessStopped(delay, stop)) {
            result = FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
            break;
        }
        result = connection->Get(address, options, timeout, settings_, stop, status);
    }
    // A connection the proxy failed may be half open: the next request starts afresh.
    if (result.ok() || result.failure().kind != FetchFailureKind::Proxy) {
        Return(std::move(connection));
    }
    return result;
}

FetchResult HttpPageFetcher::FetchPage(const std::string& address, const FetchOptions& options,
                                       std::stop_token stop) {
    if (stop.stop_requested()) {
        return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
    }
    const std::chrono::milliseconds timeout =
        options.sideRequest ? std::min(settings_.timeout, settings_.sideRequestTimeout)
                            : settings_.timeout;
    if (settings_.proxies.empty()) {
        return Through(std::nullopt, address, options, timeout, stop);
    }
    ProxyPool& pool = shared_->pool;
    std::vector<std::size_t> tried;
    for (;;) {
        const std::optional<std::size_t> proxy = pool.Take(tried, address, stop);
        if (stop.stop_requested()) {
            if (proxy) {
                pool.Release(*proxy, ProxyPool::Outcome::Other);
            }
            return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
        }
        if (!proxy) {
            return FetchResult::Failed(FetchFailureKind::Proxy, pool.Unavailable(tried));
        }
        std::optional<FetchResult> result;
        try {
            result = Through(proxy, address, options, timeout, stop);
        } catch (...) {
            pool.Release(*proxy, ProxyPool::Outcome::Other);
            throw;
        }
        if (result->ok()) {
            pool.Release(*proxy, ProxyPool::Outcome::Page);
            return std::move(*result);
        }
        switch (result->failure().kind) {
            case FetchFailureKind::Proxy:
                pool.Release(*proxy, ProxyPool::Outcome::ProxyFailure, address,
                             result->failure().reason);
                tried.push_back(*proxy);
                break;  // on to another proxy, at once
            case FetchFailureKind::Blocked:
                pool.Release(*proxy, ProxyPool::Outcome::Verification, address);
                return std::move(*result);
            default:
                pool.Release(*proxy, ProxyPool::Outcome::Other);
                return std::move(*result);
        }
    }
}

}  // namespace slotscope
