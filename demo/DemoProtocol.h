#pragma once

#include "release/LatestVersionInfo.h"
#include "release/LatestVersionRequest.h"
#include "release/PackageFields.h"

#include <cstdint>
#include <string>

// The demo service's side of the wire formats: decoding what the installer sends and
// encoding what it expects back.
namespace inkwarden::demo {

// Base64, decipher, and the strict five-member object. On failure error says why.
bool DecodeLatestVersionRequest(const std::string& body, LatestVersionRequest& request,
                                std::string& error);

// The enciphered, Base64-encoded reply {"code":0,"data":{...six fields...}}.
std::string EncodeLatestVersionReply(const LatestVersionInfo& info);
// The same with "Package_sha256" and "Package_size" in "data", those of package that are there.
std::string EncodeLatestVersionReply(const LatestVersionInfo& info, const PackageFields& package);

struct ReceivedEvent {
    std::int32_t code = 0;
    std::int32_t app_id = 0;
    std::int32_t union_id = 0;
    std::string machine_id;
    std::string client_version;
    std::string check;
    bool check_matches = false;
};

// The event body's members and types, and whether "k" is the MD5 check value.
bool DecodeEvent(const std::string& body, ReceivedEvent& event, std::string& error);

// What an event code stands for, in words ("" for an unknown code).
const char* EventMeaning(int code);

} // namespace inkwarden::demo
