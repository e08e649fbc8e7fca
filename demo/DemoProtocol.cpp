#include "demo/DemoProtocol.h"

#include "telemetry/EventCodes.h"
#include "telemetry/Md5Provider.h"
#include "telemetry/PayloadCipher.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

namespace inkwarden::demo {
namespace {

using nlohmann::json;

bool IsInt32(const json& value) {
    if (!value.is_number_integer()) {
        return false;
    }
    const auto n = value.get<std::int64_t>();
    return n >= INT32_MIN && n <= INT32_MAX;
}

std::string CheckText(std::int32_t app_id, const std::string& machine_id,
                      const std::string& version, std::int32_t code) {
    return std::to_string(app_id) + machine_id + version + std::to_string(code);
}

} // namespace

bool DecodeLatestVersionRequest(const std::string& body, LatestVersionRequest& request,
                                std::string& error) {
    if (body.empty()) {
        error = "empty body";
        return false;
    }
    const std::string cipher = Base64Decode(body);
    if (cipher.empty()) {
        error = "body is not Base64";
        return false;
    }
    std::string plain;
    if (!DecryptPayloadChecked(PayloadKey{}, cipher, plain)) {
        error = "body does not decipher with the shared key";
        return false;
    }
    const json root = json::parse(plain, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        error = "deciphered text is not a JSON object";
        return false;
    }
    if (root.size() != 5) {
        error = "request must have exactly the members a, p, s, u, v";
        return false;
    }
    const auto a = root.find("a");
    const auto p = root.find("p");
    const auto s = root.find("s");
    const auto u = root.find("u");
    const auto v = root.find("v");
    if (a == root.end() || p == root.end() || s == root.end() || u == root.end() ||
        v == root.end()) {
        error = "request must have exactly the members a, p, s, u, v";
        return false;
    }
    if (!IsInt32(*a) || !IsInt32(*u) || !p->is_string() || !s->is_string() || !v->is_string()) {
        error = "a and u must be integers, p, s and v strings";
        return false;
    }
    request.a = a->get<std::int32_t>();
    request.u = u->get<std::int32_t>();
    request.p = p->get<std::string>();
    request.s = s->get<std::string>();
    request.v = v->get<std::string>();
    return true;
}

std::string EncodeLatestVersionReply(const LatestVersionInfo& info) {
    return EncodeLatestVersionReply(info, PackageFields{});
}

std::string EncodeLatestVersionReply(const LatestVersionInfo& info, const PackageFields& package) {
    json data = json::object();
    data["Soft_name"] = info.Soft_name;
    data["Version_number"] = info.Version_number;
    data["Version_description"] = info.Version_description;
    data["Download_url"] = info.Download_url;
    data["Download_silent_url"] = info.Download_silent_url;
    data["Pubdate"] = info.Pubdate;
    if (package.sha256) {
        data[PACKAGE_SHA256_FIELD] = *package.sha256;
    }
    if (package.size) {
        data[PACKAGE_SIZE_FIELD] = *package.size;
    }
    if (!package.mirrors.empty()) {
        data[PACKAGE_MIRRORS_FIELD] = package.mirrors;
    }
    if (package.piece_size) {
        data[PACKAGE_PIECE_SIZE_FIELD] = *package.piece_size;
        data[PACKAGE_PIECE_SHA256_FIELD] = package.piece_sha256;
    }
    json reply = json::object();
    reply["code"] = 0;
    reply["data"] = data;
    return Base64Encode(EncryptPayload(PayloadKey{}, reply.dump()));
}

bool DecodeEvent(const std::string& body, ReceivedEvent& event, std::string& error) {
    const json root = json::parse(body, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        error = "body is not a JSON object";
        return false;
    }
    const char* const names[] = {"a", "k", "m", "p", "u", "v"};
    if (root.size() != std::size(names)) {
        error = "event must have exactly the members a, k, m, p, u, v";
        return false;
    }
    for (const char* name : names) {
        if (!root.contains(name)) {
            error = std::string("member \"") + name + "\" is missing";
            return false;
        }
    }
    if (!IsInt32(root["a"]) || !IsInt32(root["m"]) || !IsInt32(root["u"]) ||
        !root["k"].is_string() || !root["p"].is_string() || !root["v"].is_string()) {
        error = "a, m and u must be integers, k, p and v strings";
        return false;
    }
    // Stores keep text as C strings; a NUL would cut a field short without a word.
    for (const char* name : {"k", "p", "v"}) {
        if (root[name].get_ref<const std::string&>().find('\0') != std::string::npos) {
            error = std::string("member \"") + name + "\" holds a NUL character";
            return false;
        }
    }
    event.app_id = root["a"].get<std::int32_t>();
    event.code = root["m"].get<std::int32_t>();
    event.union_id = root["u"].get<std::int32_t>();
    event.check = root["k"].get<std::string>();
    event.machine_id = root["p"].get<std::string>();
    event.client_version = root["v"].get<std::string>();

    Md5Provider md5;
    md5.acquire();
    const std::string expected =
        md5.hexDigest(CheckText(event.app_id, event.machine_id, event.client_version, event.code));
    event.check_matches = !expected.empty() && expected == event.check;
    return true;
}

const char* EventMeaning(int code) {
    struct Meaning {
        int code;
        const char* text;
    };
    static constexpr Meaning MEANINGS[] = {
        {event_code::PAGE_CONFIGURATION, "configuration page shown"},
        {event_code::START_CLICKED, "start button clicked"},
        {event_code::LICENCE_CLEARED, "licence check box cleared"},
        {event_code::LICENCE_TICKED, "licence check box ticked"},
        {event_code::BROWSE_CLICKED, "browse button clicked"},
        {event_code::DESKTOP_LINK_CLEARED, "desktop shortcut cleared"},
        {event_code::DESKTOP_LINK_TICKED, "desktop shortcut ticked"},
        {event_code::START_LINK_CLEARED, "start-menu shortcut cleared"},
        {event_code::START_LINK_TICKED, "start-menu shortcut ticked"},
        {event_code::PAGE_INSTALLING, "installing page shown"},
        {event_code::PAGE_FAILURE, "failure page shown"},
        {event_code::RETRY_CLICKED, "retry button clicked"},
        {event_code::CONTACT_SHOWN, "contact button shown"},
        {event_code::CONTACT_CLICKED, "contact button clicked"},
        {event_code::PAGE_SUCCESS, "success page shown"},
        {event_code::FINISH_CLICKED, "start-now button clicked"},
    };
    for (const Meaning& meaning : MEANINGS) {
        if (meaning.code == code) {
            return meaning.text;
        }
    }
    return "";
}

} // namespace inkwarden::demo
