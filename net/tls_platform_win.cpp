#include <curl/curl.h>

#include "net/tls_platform.h"

namespace slotscope {

long PlatformSslOptions() {
    // Schannel refuses a certificate whose revocation list cannot be reached, as behind many
    // company proxies; the certificate itself is still verified.
    return CURLSSLOPT_REVOKE_BEST_EFFORT;
}

}  // namespace slotscope
