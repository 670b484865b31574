// A name look-up made slow on purpose, loaded into a program with LD_PRELOAD: looking up the host
// named by SLOTSCOPE_SLOW_HOST takes SLOTSCOPE_SLOW_SECONDS (8 unless given) and then finds
// nothing; every other look-up is the system's own.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

// Declared here rather than through <netdb.h>, whose declaration names its parameters
// differently; only pointers to it pass through.
struct addrinfo;
constexpr int kNameNotKnown = -2;  // glibc's EAI_NONAME

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    const char* slowHost = std::getenv("SLOTSCOPE_SLOW_HOST");
    if (node != nullptr && slowHost != nullptr && std::strcmp(node, slowHost) == 0) {
        const char* seconds = std::getenv("SLOTSCOPE_SLOW_SECONDS");
        sleep(seconds != nullptr ? static_cast<unsigned>(std::atoi(seconds)) : 8U);
        return kNameNotKnown;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto system = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return system(node, service, hints, result);
}
