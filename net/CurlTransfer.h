#pragma once

#include "platform/UniqueResource.h"

#include <curl/curl.h>
#include <string>

namespace inkwarden {

// Sole owner of one libcurl easy handle, and of one header list.
using CurlEasyHandle = UniqueResource<CURL, curl_easy_cleanup>;
using CurlHeaderList = UniqueResource<curl_slist, curl_slist_free_all>;

// A fresh handle, or an empty owner when the library cannot make one.
inline CurlEasyHandle NewCurlEasyHandle() {
    return CurlEasyHandle(curl_easy_init());
}

// The time limits of one kind of transfer, in whole seconds as the library takes them.
struct CurlLimits {
    long connect_timeout = 0;
    // An attempt ends when less than low_speed_limit bytes per second arrive over
    // low_speed_time seconds.
    long low_speed_limit = 1;
    long low_speed_time = 0;
    long timeout = 0; // the whole transfer; 0 is the library's default: none
};

// What a kind of transfer switches on besides its limits.
using TransferFlags = unsigned;
enum TransferFlag : TransferFlags {
    // Signals are process-wide: a transfer off the main thread must not use them.
    TRANSFER_NO_SIGNAL = 1u << 0,
    TRANSFER_FOLLOW_REDIRECTS = 1u << 1,
};

// A redirect loop would otherwise be followed until the transfer's time limit.
constexpr long MAX_REDIRECTS = 10;

// The shared base: the limits, the flags, at most MAX_REDIRECTS redirects, the server's
// certificate checked as TlsPolicy says, no verbose output.
void SetBaseOptions(CURL* curl, const CurlLimits& limits, TransferFlags flags);

// The body sink and the transfer-info callback, which is switched on with it.
void SetBodyAndProgressSinks(CURL* curl, curl_write_callback on_body, void* body_context,
                             curl_xferinfo_callback on_progress, void* progress_context);

// Only the body sink: for a transfer whose body stream carries no data of ours (the probe's,
// which receives its header lines there too).
void SetBodySink(CURL* curl, curl_write_callback on_body, void* body_context);

// Each request below also takes the proxy that the desktop names for its URL (ProxyChoice).

// A POST of body (not copied: it must outlive the transfer) with the given header list.
void SetPostRequest(CURL* curl, const std::string& url, const std::string& body,
                    curl_slist* headers);

// A header-only request whose header lines go to on_header. Without a body sink the library
// also passes the header lines to standard output.
void SetProbeRequest(CURL* curl, const std::string& url, curl_write_callback on_header,
                     void* header_context);

// The answer's header lines go to on_header, and headers (not copied: it must outlive the
// transfer; null for none) go with the request.
void SetHeaderExchange(CURL* curl, curl_write_callback on_header, void* header_context,
                       curl_slist* headers);

// A GET of url; range is "first-last" (inclusive byte offsets), or empty for the whole resource.
void SetRangedGetRequest(CURL* curl, const std::string& url, const std::string& range);

} // namespace inkwarden
