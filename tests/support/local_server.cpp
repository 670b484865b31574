#include "tests/support/local_server.h"

#include <chrono>
#include <stdexcept>

namespace slotscope::testing {

LocalServer::LocalServer() : LocalServer(std::make_unique<httplib::Server>(), "http") {}

LocalServer::LocalServer(std::unique_ptr<httplib::Server> server, std::string scheme)
    : scheme_(std::move(scheme)), server_(std::move(server)) {
    // Every fetching thread keeps its connection open, and each open connection holds a thread.
    server_->new_task_queue = [] { return new httplib::ThreadPool(40); };
    server_->set_tcp_nodelay(true);  // headers and body go out at once, not after a delayed ACK
    server_->set_keep_alive_max_count(100000);
    server_->set_keep_alive_timeout(30);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot bind a port on 127.0.0.1");
    }
}

LocalServer::~LocalServer() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LocalServer::Start() {
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string LocalServer::Url(const std::string& path) const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
}

int UnusedPort() {
    // Bound by a server that then goes, closing its socket.
    LocalServer probe;
    probe.Start();
    return probe.port();
}

}  // namespace slotscope::testing
