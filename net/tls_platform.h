#pragma once

namespace slotscope {

// The CURLOPT_SSL_OPTIONS bits the system's TLS needs, one implementation per system
// (tls_platform_posix.cpp, tls_platform_win.cpp).
long PlatformSslOptions();

}  // namespace slotscope
