#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

namespace slotscope::testing {

// A real HTTP server on 127.0.0.1 at a free port, for tests and benchmarks. Register handlers
// on server() and then call Start(); the destructor stops it.
class LocalServer final {
  public:
    LocalServer();  // plain HTTP
    // Serving through `server` (an HTTPS one, say), with addresses of that scheme.
    LocalServer(std::unique_ptr<httplib::Server> server, std::string scheme);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Server& server() { return *server_; }
    void Start();

    int port() const { return port_; }
    // "http://127.0.0.1:PORT" (or the scheme given) followed by `path`.
    std::string Url(const std::string& path) const;

  private:
    std::string scheme_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = -1;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int UnusedPort();

// A server for HTTPS with a certificate for 127.0.0.1 signed by itself, which no client that
// verifies will accept. Linux only (local_server_tls.cpp).
std::unique_ptr<httplib::Server> SelfSignedServer();

}  // namespace slotscope::testing
