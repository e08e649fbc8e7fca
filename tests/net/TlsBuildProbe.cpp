// One https GET with the certificate checks of the build this file is compiled into (the
// build's pinned CA bundle, or verification off): prints "ok" and exits 0 when the body
// came, else prints the library's words and exits 1.
//   tls-build-probe URL
#include "net/TlsPolicy.h"

#include <cstdio>
#include <curl/curl.h>

namespace {

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tls-build-probe URL\n", stderr);
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, argv[1]);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    inkwarden::SetTlsOptions(curl);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    const bool ok = code == CURLE_OK && status == 200;
    std::printf("%s\n", ok ? "ok" : code != CURLE_OK ? curl_easy_strerror(code) : "not 200");
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    return ok ? 0 : 1;
}
