#include "tests/support/robot_server.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/support/local_proxy.h"

namespace slotscope::testing {
namespace {

using Json = nlohmann::json;

std::string Base64Of(const std::string& bytes) {
    std::array<unsigned char, 128> out{};
    const int length =
        EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(bytes.size()));
    return {reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(length)};
}

std::string Hmac(const std::string& key, const std::string& message) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(),
         &length);
    return {reinterpret_cast<const char*>(digest.data()), length};
}

// Whether a time (in seconds or milliseconds since the epoch) is within an hour of now, as both
// platforms demand of a signed message.
bool Recent(const std::string& text, bool milliseconds) {
    const long long value = std::atoll(text.c_str());
    const long long now = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    return std::llabs((milliseconds ? value / 1000 : value) - now) < 3600;
}

}  // namespace

RobotServer::RobotServer(std::string dingtalkSecret, std::string feishuSecret)
    : dingtalkSecret_(std::move(dingtalkSecret)), feishuSecret_(std::move(feishuSecret)) {
    // DingTalk: the signature on the address, HMAC-SHA256 of "timestamp\nsecret" under the
    // secret, in Base64.
    local_.server().Post("/robot/send", [this](const httplib::Request& request,
                                               httplib::Response& response) {
        const std::string timestamp = request.get_param_value("timestamp");
        const bool signedRight =
            request.get_param_value("access_token") == "dt-token" && Recent(timestamp, true) &&
            request.get_param_value("sign") ==
                Base64Of(Hmac(dingtalkSecret_, timestamp + "\n" + dingtalkSecret_));
        Keep({"dingtalk", Json::parse(request.body, nullptr, false), request.body, signedRight});
        response.set_content(signedRight
                                 ? R"({"errcode":0,"errmsg":"ok"})"
                                 : R"({"errcode":310000,"errmsg":"sign not match for dt-token"})",
                             "application/json");
    });
    // WeCom: the key on the address, Markdown of at most 4,096 bytes.
    local_.server().Post("/cgi-bin/webhook/send", [this](const httplib::Request& request,
                                                         httplib::Response& response) {
        const Json body = Json::parse(request.body, nullptr, false);
        const bool fits =
            body.is_object() && body["markdown"]["content"].get<std::string>().size() <= 4096;
        const bool taken = request.get_param_value("key") == "wc-key" && fits;
        Keep({"wecom", body, request.body, taken});
        response.set_content(
            taken ? R"({"errcode":0,"errmsg":"ok"})"
                  : R"({"errcode":40058,"errmsg":"markdown.content exceed max length 4096"})",
            "application/json");
    });
    // Feishu: the signature in the body, HMAC-SHA256 of nothing under "timestamp\nsecret".
    local_.server().Post("/open-apis/bot/v2/hook/fs-token", [this](const httplib::Request& request,
                                                                   httplib::Response& response) {
        const Json body = Json::parse(request.body, nullptr, false);
        const std::string timestamp = body.value("timestamp", "");
        const bool signedRight =
            Recent(timestamp, false) &&
            body.value("sign", "") == Base64Of(Hmac(timestamp + "\n" + feishuSecret_, "")) &&
            request.body.size() <= std::size_t{20} * 1024;
        Keep({"feishu", body, request.body, signedRight});
        response.set_content(
            signedRight
                ? R"({"code":0,"msg":"success"})"
                : R"({"code":19021,"msg":"sign match fail or timestamp is not within one hour from current time"})",
            "application/json");
    });
    local_.server().Post("/hook", [this](const httplib::Request& request,
                                         httplib::Response& response) {
        Keep({"webhook", Json::parse(request.body, nullptr, false), request.body, !webhookFails_});
        response.status = webhookFails_ ? 503 : 204;
    });
    local_.Start();
}

void RobotServer::Keep(Message message) {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(message));
}

std::vector<RobotServer::Message> RobotServer::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::string RobotServer::ChannelLines(const std::string& dingtalkSecret,
                                      const std::string& feishuSecret) const {
    return "dingtalk = " + local_.Url("/robot/send?access_token=dt-token") +
           " secret=" + dingtalkSecret +
           "\nwecom = " + local_.Url("/cgi-bin/webhook/send?key=wc-key") +
           "\nfeishu = " + local_.Url("/open-apis/bot/v2/hook/fs-token") +
           " secret=" + feishuSecret + "\nwebhook = " + local_.Url("/hook") + "\n";
}

bool MailServer::IsInstalled() {
    return std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") == 0;
}

MailServer::MailServer() : port_(UnusedPort()) {
    ChildFiles files;
    files.input = "/dev/null";
    files.output = dir_.file("out.txt");
    files.errors = dir_.file("log.txt");
    process_ = StartProgram("/usr/bin/python3",
                            {"-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(port_),
                             "-c", "aiosmtpd.handlers.Mailbox", dir_.file("mail")},
                            files);
    started_ = process_ > 0 && Listens("127.0.0.1", port_, 10);
}

MailServer::~MailServer() {
    if (process_ > 0) {
        KillProgram(process_);
        WaitForProgram(process_);
    }
}

std::vector<std::string> MailServer::Mails() const {
    std::vector<std::string> mails;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(dir_.path() / "mail" / "new", error)) {
        mails.push_back(ReadFileBytes(entry.path().string()));
    }
    return mails;
}

}  // namespace slotscope::testing
