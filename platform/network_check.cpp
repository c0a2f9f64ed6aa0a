#include "platform/network_check.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace orvandel {

bool IsNetworkAlive() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    bool alive = false;
    constexpr unsigned kWanted = IFF_UP | IFF_RUNNING;
    for (const ifaddrs* ifa = list; ifa != nullptr && !alive; ifa = ifa->ifa_next) {
        alive = ifa->ifa_addr != nullptr && ifa->ifa_addr->sa_family == AF_INET &&
                (ifa->ifa_flags & IFF_LOOPBACK) == 0 && (ifa->ifa_flags & kWanted) == kWanted;
    }
    freeifaddrs(list);
    return alive;
}

}  // namespace orvandel
