#pragma once

#include <curl/curl.h>
#include <string>

namespace inkwarden {

// Why a transfer got no answer from its server, as far as it matters to what happens next.
enum class TransferFault {
    NONE,                  // an answer came (whatever its status)
    NETWORK,               // no answer; another attempt may bring one
    CERTIFICATE_UNTRUSTED, // the server's certificate or name did not pass the checks
    CA_BUNDLE_UNREADABLE,  // the CA bundle to check against could not be read
    PROXY_REFUSED,         // the proxy did not take the connection
    PROXY_AUTH_REQUIRED,   // the proxy answered 407
};

// What a finished transfer on curl, which ended with code, ran into.
TransferFault ClassifyTransfer(CURL* curl, CURLcode code);

// Whether another attempt of the same transfer can end differently: a refused certificate or
// a missing sign-in stays so until someone changes something.
bool IsRetryableFault(TransferFault fault);

// One line for a person: the cause that names the proxy or the certificate, otherwise the
// library's words for code.
std::string DescribeTransferFault(CURL* curl, CURLcode code);

// The last fault of any transfer in the process that no retry mends, with the proxy
// ("HOST:PORT") it concerns. The download engine reports only a line of text; this lets the
// installer tell a refused certificate or a proxy's sign-in from a dead network.
struct LastingFault {
    TransferFault fault = TransferFault::NONE;
    std::string proxy;
};

// Hands the last lasting fault over and forgets it.
LastingFault TakeLastingFault();

} // namespace inkwarden
