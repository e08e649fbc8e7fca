#include "TestEvents.h"

#include "telemetry/Md5Provider.h"

#include <nlohmann/json.hpp>

namespace inkwarden::test {

std::string EventBody(int code, const std::string& machine_id) {
    Md5Provider md5;
    md5.acquire();
    const std::string check = md5.hexDigest("7" + machine_id + "1.0.0.1" + std::to_string(code));
    return nlohmann::json{{"a", 7},          {"k", check}, {"m", code},
                          {"p", machine_id}, {"u", 57426}, {"v", "1.0.0.1"}}
        .dump();
}

} // namespace inkwarden::test
