#include "tests/support/local_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace slotscope::testing {

LocalServer::LocalServer() {
    // Every fetching thread keeps its connection open, and each open connection holds a thread.
    server_.new_task_queue = [] { return new httplib::ThreadPool(40); };
    server_.set_tcp_nodelay(true);  // headers and body go out at once, not after a delayed ACK
    server_.set_keep_alive_max_count(100000);
    server_.set_keep_alive_timeout(30);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot bind a port on 127.0.0.1");
    }
}

LocalServer::~LocalServer() {
    server_.stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LocalServer::Start() {
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string LocalServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int UnusedPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

}  // namespace slotscope::testing
