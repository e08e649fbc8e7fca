#include "net/CurlTransfer.h"

#include "net/ProxyChoice.h"
#include "net/TlsPolicy.h"

namespace inkwarden {

void SetBaseOptions(CURL* curl, const CurlLimits& limits, TransferFlags flags) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connect_timeout);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.low_speed_limit);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.low_speed_time);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.timeout);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, (flags & TRANSFER_NO_SIGNAL) != 0 ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION,
                     (flags & TRANSFER_FOLLOW_REDIRECTS) != 0 ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MAX_REDIRECTS);
    SetTlsOptions(curl);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
}

void SetBodyAndProgressSinks(CURL* curl, curl_write_callback on_body, void* body_context,
                             curl_xferinfo_callback on_progress, void* progress_context) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, body_context);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, progress_context);
}

void SetBodySink(CURL* curl, curl_write_callback on_body, void* body_context) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, body_context);
}

void SetPostRequest(CURL* curl, const std::string& url, const std::string& body,
                    curl_slist* headers) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    SetProxyFor(curl, url);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
}

void SetProbeRequest(CURL* curl, const std::string& url, curl_write_callback on_header,
                     void* header_context) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    SetProxyFor(curl, url);
    curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, header_context);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
}

void SetHeaderExchange(CURL* curl, curl_write_callback on_header, void* header_context,
                       curl_slist* headers) {
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, header_context);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
}

void SetRangedGetRequest(CURL* curl, const std::string& url, const std::string& range) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    SetProxyFor(curl, url);
    // The library copies the text; a null pointer asks for the whole resource.
    curl_easy_setopt(curl, CURLOPT_RANGE, range.empty() ? nullptr : range.c_str());
}

} // namespace inkwarden
