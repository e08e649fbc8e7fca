// The demo service's request decoding: a query body and an event body from the network.
#include "demo/DemoProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    inkwarden::LatestVersionRequest request;
    inkwarden::demo::ReceivedEvent event;
    std::string error;
    inkwarden::demo::DecodeLatestVersionRequest(body, request, error);
    inkwarden::demo::DecodeEvent(body, event, error);
    return 0;
}
