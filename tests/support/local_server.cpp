#include "tests/support/local_server.h"

#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace slotscope::testing {

namespace {

// A certificate for 127.0.0.1 signed by itself, which no client that verifies will accept.
std::unique_ptr<httplib::Server> SelfSignedServer() {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* certificate = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24L * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());
    auto server = std::make_unique<httplib::SSLServer>(certificate, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return server;
}

}  // namespace

LocalServer::LocalServer(Scheme scheme)
    : scheme_(scheme),
      server_(scheme == Scheme::Http ? std::make_unique<httplib::Server>() : SelfSignedServer()) {
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
    return (scheme_ == Scheme::Http ? "http://127.0.0.1:" : "https://127.0.0.1:") +
           std::to_string(port_) + path;
}

int UnusedPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(socket);
        throw std::runtime_error("cannot find a free port on 127.0.0.1");
    }
    ::close(socket);
    return ntohs(address.sin_port);
}

}  // namespace slotscope::testing
