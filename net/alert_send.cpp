#include "net/alert_send.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "base/stop_wait.h"
#include "net/fetch_proxy.h"
#include "net/tls_platform.h"

namespace slotscope {
namespace {

// Answers of robots are short; a longer one is read no further.
constexpr std::size_t kLongestAnswer = std::size_t{64} * 1024;

struct Transfer {
    std::string answer;
    std::string_view upload;  // what is left of the mail to send
    const std::stop_token* stop = nullptr;
};

std::size_t OnAnswer(char* data, std::size_t size, std::size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    transfer->answer.append(data, std::min(bytes, kLongestAnswer - transfer->answer.size()));
    return transfer->answer.size() < kLongestAnswer ? bytes : 0;
}

std::size_t OnUpload(char* buffer, std::size_t size, std::size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const std::size_t bytes = std::min(size * count, transfer->upload.size());
    std::memcpy(buffer, transfer->upload.data(), bytes);
    transfer->upload.remove_prefix(bytes);
    return bytes;
}

int OnProgress(void* context, curl_off_t /*toDownload*/, curl_off_t /*downloaded*/,
               curl_off_t /*toUpload*/, curl_off_t /*uploaded*/) {
    return static_cast<Transfer*>(context)->stop->stop_requested() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// What of a channel's address may be a token: the values of its query and the parts of its path
// (a Feishu robot's token is the last of them), each as a whole.
std::vector<std::string> AddressSecrets(const std::string& address) {
    std::vector<std::string> secrets;
    const std::size_t hostStart =
        address.find("://") == std::string::npos ? 0 : address.find("://") + 3;
    std::size_t at = address.find_first_of("/?", hostStart);
    while (at != std::string::npos && at < address.size()) {
        const std::size_t end = address.find_first_of("/?&#", at + 1);
        std::string part = address.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        if (const std::size_t equals = part.find('='); equals != std::string::npos) {
            part.erase(0, equals + 1);
        }
        // The short words of a path ("send", "hook", "v2") are no token, and blotting them would
        // only hide where the message went.
        if (part.size() >= 8) {
            secrets.push_back(part);
        }
        at = end;
    }
    return secrets;
}

// Words for the user with every credential of the channel blotted out, should the server or the
// library have repeated one.
std::string Scrubbed(std::string words, const AlertChannel& channel) {
    std::vector<std::string> secrets = AddressSecrets(channel.address);
    secrets.push_back(channel.secret);
    secrets.push_back(channel.password);
    for (const std::string& secret : secrets) {
        for (std::size_t at = secret.empty() ? std::string::npos : words.find(secret);
             at != std::string::npos; at = words.find(secret, at)) {
            words.replace(at, secret.size(), "***");
        }
    }
    return words;
}

// One try at one channel; why it failed, or empty.
std::string Try(const AlertChannel& channel, const AlertRequest& request,
                const AlertSendSettings& settings, const std::stop_token& stop) {
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return "out of memory";
    }
    std::array<char, CURL_ERROR_SIZE> error{};
    Transfer transfer;
    transfer.stop = &stop;
    CURL* const handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // A proxy of the environment may carry a message over TLS, never one to this machine, which
    // may go in clear.
    const std::string noProxy = NoProxyHosts();
    curl_easy_setopt(handle, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.timeout.count()));
    curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, PlatformSslOptions());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error.data());
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnAnswer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    std::unique_ptr<curl_slist, ListDeleter> list;
    const bool mail = channel.kind == AlertChannel::Kind::Mail;
    if (mail) {
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        // smtp:// sends nothing unless the server takes it over TLS first (STARTTLS).
        curl_easy_setopt(handle, CURLOPT_USE_SSL,
                         static_cast<long>(channel.tls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
        if (!channel.user.empty()) {
            curl_easy_setopt(handle, CURLOPT_USERNAME, channel.user.c_str());
            curl_easy_setopt(handle, CURLOPT_PASSWORD, channel.password.c_str());
        }
        const std::string from = "<" + channel.from + ">";
        curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
        for (const std::string& to : channel.to) {
            list.reset(curl_slist_append(list.release(), ("<" + to + ">").c_str()));
        }
        curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, list.get());
        transfer.upload = request.body;
        curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, &OnUpload);
        curl_easy_setopt(handle, CURLOPT_READDATA, &transfer);
        const CURLcode code = curl_easy_perform(handle);
        if (code != CURLE_OK) {
            return Scrubbed(error[0] != '\0' ? error.data() : curl_easy_strerror(code), channel);
        }
        return {};
    }
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    list.reset(curl_slist_append(nullptr, "Content-Type: application/json; charset=utf-8"));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        return Scrubbed(error[0] != '\0' ? error.data() : curl_easy_strerror(code), channel);
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return Scrubbed(AnswerProblem(channel, status, transfer.answer), channel);
}

}  // namespace

std::vector<AlertDelivery> SendAlerts(const std::vector<AlertJob>& jobs,
                                      const AlertSendSettings& settings,
                                      const std::stop_token& stop) {
    std::vector<AlertDelivery> deliveries;
    for (const auto& [channel, request, about] : jobs) {
        AlertDelivery delivery{channel.Shown(), about, {}};
        if (stop.stop_requested()) {
            delivery.problem = "stopped";
        } else {
            delivery.problem = Try(channel, request, settings, stop);
            if (!delivery.problem.empty() && WaitUnlessStopped(settings.retryPause, stop)) {
                delivery.problem = Try(channel, request, settings, stop);
            }
        }
        // What a stop cut short was not sent for want of a stop, not of the channel.
        if (stop.stop_requested() && !delivery.problem.empty()) {
            delivery.problem = "stopped";
        }
        deliveries.push_back(std::move(delivery));
    }
    return deliveries;
}

}  // namespace slotscope
