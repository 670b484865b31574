// The HTTPS test server: OpenSSL, which only the Linux build has. Windows' Schannel under Wine
// does not check certificates, so nothing there could use it.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "tests/support/local_server.h"

namespace slotscope::testing {

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

}  // namespace slotscope::testing
