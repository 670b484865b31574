#pragma once

// Real proxies on loopback for the fetch tests: Debian's microsocks (SOCKS5) and tinyproxy (an
// HTTP proxy), each started as a child program at a free port and ended with the object. Linux
// only (local_proxy.cpp).

#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace slotscope::testing {

struct ProxyProgram {
    const char* name;     // for test names: "socks5", "http"
    const char* program;  // its full path
    const char* scheme;   // of its addresses: "socks5://", "http://"
    // The loopback address it listens on and connects out from, so that a server sees it as
    // the client.
    const char* host;
};

inline constexpr ProxyProgram kMicrosocks{"socks5", "/usr/bin/microsocks", "socks5://",
                                          "127.0.0.2"};
inline constexpr ProxyProgram kTinyproxy{"http", "/usr/bin/tinyproxy", "http://", "127.0.0.3"};

inline void PrintTo(const ProxyProgram& proxy, std::ostream* out) {
    *out << proxy.name;
}

bool IsInstalled(const ProxyProgram& proxy);

// A proxy that lets in `user` with `password` only. The constructor returns once it listens;
// started() is false when it did not start or did not listen within a few seconds.
class LocalProxy final {
  public:
    LocalProxy(const ProxyProgram& proxy, const std::string& user, const std::string& password);
    ~LocalProxy();
    LocalProxy(const LocalProxy&) = delete;
    LocalProxy& operator=(const LocalProxy&) = delete;

    bool started() const { return started_; }
    int port() const { return port_; }
    // Its log, for a failing test's message.
    std::string Log() const;

  private:
    TempDir dir_;
    int port_ = 0;
    ProcessId process_ = -1;
    bool started_ = false;
};

// A proxy that is dead past its door: it accepts connections at `host` (a free port) and closes
// each at once, or with `silent` holds each open without a word, counting them.
class ClosingListener final {
  public:
    explicit ClosingListener(const std::string& host, bool silent = false);
    ~ClosingListener();
    ClosingListener(const ClosingListener&) = delete;
    ClosingListener& operator=(const ClosingListener&) = delete;

    int port() const { return port_; }
    int accepted() const { return accepted_; }

  private:
    int socket_ = -1;
    int port_ = 0;
    std::atomic<int> accepted_ = 0;
    std::atomic<bool> ending_ = false;
    std::vector<int> held_;  // the connections a silent one holds, closed when it goes
    std::thread thread_;
};

// Whether something accepts connections at host:port within `seconds`.
bool Listens(const std::string& host, int port, int seconds);

}  // namespace slotscope::testing
