#include "platform/socket_check.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvandel {

bool SocketsAvailable() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace orvandel
