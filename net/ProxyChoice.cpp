#include "net/ProxyChoice.h"

namespace inkwarden {

void SetProxyFor(CURL*, const std::string&) {}

std::string ProxyOfTransfer(CURL*) {
    return std::string();
}

} // namespace inkwarden
