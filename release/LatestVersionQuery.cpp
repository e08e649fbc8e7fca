#include "release/LatestVersionQuery.h"

#include "net/HttpResponse.h"
#include "telemetry/CPCIDCalculator.h"
#include "telemetry/PayloadCipher.h"

#include <nlohmann/json.hpp>

namespace inkwarden {

std::string BuildLatestVersionRequest(const LatestVersionRequest& request) {
    // nlohmann's object keeps its keys sorted, which gives the a, p, s, u, v order.
    nlohmann::json body = nlohmann::json::object();
    body["s"] = request.s;
    body["v"] = request.v;
    body["a"] = request.a;
    body["u"] = request.u;
    body["p"] = request.p;
    return body.dump();
}

LatestVersionInfo ParseLatestVersion(const std::string& text) {
    LatestVersionInfo info;
    nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        return info;
    }
    auto data = root.find("data");
    if (data == root.end() || !data->is_object()) {
        return info;
    }
    std::string LatestVersionInfo::*const fields[] = {
        &LatestVersionInfo::Soft_name,           &LatestVersionInfo::Version_number,
        &LatestVersionInfo::Version_description, &LatestVersionInfo::Download_url,
        &LatestVersionInfo::Download_silent_url, &LatestVersionInfo::Pubdate,
    };
    const char* const names[] = {"Soft_name",    "Version_number",      "Version_description",
                                 "Download_url", "Download_silent_url", "Pubdate"};
    for (size_t i = 0; i < std::size(fields); ++i) {
        auto member = data->find(names[i]);
        if (member == data->end() || !member->is_string()) {
            break; // the fields before the failure keep their values
        }
        info.*fields[i] = member->get<std::string>();
    }
    return info;
}

LatestVersionInfo QueryLatestVersion(HttpClient& client, std::int32_t app_id, std::int32_t union_id,
                                     const std::string& url) {
    LatestVersionRequest request;
    request.a = app_id;
    request.u = union_id;
    request.p = MachineIdText();

    const PayloadKey key;
    const std::string body = Base64Encode(EncryptPayload(key, BuildLatestVersionRequest(request)));
    HttpResponse response = client.Post(url, body, JSON_HEADER_LINE);
    if (response.status != HTTP_OK) {
        return LatestVersionInfo{};
    }
    return ParseLatestVersion(DecryptPayload(key, Base64Decode(response.body)));
}

} // namespace inkwarden
