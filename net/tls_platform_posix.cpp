#include "net/tls_platform.h"

namespace slotscope {

long PlatformSslOptions() {
    return 0;  // OpenSSL: libcurl's defaults
}

}  // namespace slotscope
