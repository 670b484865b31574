#include "tests/support/local_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/support/local_server.h"

namespace slotscope::testing {
namespace {

bool Connects(const std::string& host, int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    const bool connected =
        ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

std::vector<std::string> Arguments(const ProxyProgram& proxy, const TempDir& dir, int port,
                                   const std::string& user, const std::string& password) {
    const std::string portText = std::to_string(port);
    if (std::string_view(proxy.name) == kMicrosocks.name) {
        return {"-i", proxy.host, "-p", portText, "-u", user, "-P", password, "-b", proxy.host};
    }
    // tinyproxy in the foreground, logging to standard error; Bind is the address it connects
    // out from.
    const std::string config = dir.file("tinyproxy.conf");
    WriteFileBytes(config, "Port " + portText + "\nListen " + proxy.host + "\nBind " + proxy.host +
                               "\nBasicAuth " + user + " " + password +
                               "\nAllow 127.0.0.0/8\nMaxClients 20\nLogLevel Info\n");
    return {"-d", "-c", config};
}

}  // namespace

bool IsInstalled(const ProxyProgram& proxy) {
    return std::filesystem::exists(proxy.program);
}

bool Listens(const std::string& host, int port, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!Connects(host, port)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

LocalProxy::LocalProxy(const ProxyProgram& proxy, const std::string& user,
                       const std::string& password)
    : port_(UnusedPort()) {
    ChildFiles files;
    files.input = "/dev/null";
    files.output = dir_.file("out.txt");
    files.errors = dir_.file("log.txt");
    process_ = StartProgram(proxy.program, Arguments(proxy, dir_, port_, user, password), files);
    started_ = process_ > 0 && Listens(proxy.host, port_, 5);
}

LocalProxy::~LocalProxy() {
    if (process_ > 0) {
        KillProgram(process_);
        WaitForProgram(process_);
    }
}

ClosingListener::ClosingListener(const std::string& host, bool silent)
    : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    socklen_t length = sizeof address;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(socket_, 16) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, silent] {
        while (!ending_) {
            pollfd waiting{socket_, POLLIN, 0};
            if (::poll(&waiting, 1, 20) > 0) {
                const int client = ::accept(socket_, nullptr, nullptr);
                if (client >= 0) {
                    ++accepted_;
                    if (silent) {
                        held_.push_back(client);
                    } else {
                        ::close(client);
                    }
                }
            }
        }
    });
}

ClosingListener::~ClosingListener() {
    ending_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    for (const int client : held_) {
        ::close(client);
    }
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

std::string LocalProxy::Log() const {
    return ReadFileBytes(dir_.file("out.txt")) + ReadFileBytes(dir_.file("log.txt"));
}

}  // namespace slotscope::testing
