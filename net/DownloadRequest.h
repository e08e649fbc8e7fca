#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

// What one download is to fetch, and where to put it.
struct DownloadRequest {
    std::string url;
    // Further sources of the same bytes, used beside url.
    std::vector<std::string> mirrors;
    std::string target_path;
    int32_t connections = 1;
    bool follow_redirects = true;
    // false: an earlier run's record is not used (it is still kept for a later run).
    bool resume = true;
    // The probe's raw header lines also go to standard output.
    bool echo_probe_headers = true;
    // The length the caller trusts (a signed release's size): a server that announces another
    // fails before any data is asked for, and no byte is written past it.
    std::optional<int64_t> expected_size;
    // With expected_size: the file's pieces of piece_size bytes (the last holds the rest) and
    // the lower-case hex SHA-256 of each. A piece is checked once all its bytes are in, and
    // fetched again when it fails; 0 for none.
    int64_t piece_size = 0;
    std::vector<std::string> piece_sha256;
};

// How a download ended.
struct DownloadResult {
    bool done = false;
    // Why it failed, in one line for a person; empty after a success.
    std::string cause;
    // The errno behind the cause when a file operation failed (ENOSPC for a full disk), else 0.
    int error = 0;
    // The server announced another length than the request's expected size.
    bool size_refused = false;
    // The probed length; 0 when the probe failed.
    int64_t total_size = 0;
    // Bytes each source delivered into the file, in the request's order of sources.
    struct SourceBytes {
        std::string url;
        int64_t bytes = 0;
    };
    std::vector<SourceBytes> bytes_per_source;
    // Pieces that failed their digest (the partial file's included) and were fetched again.
    int pieces_failed = 0;

    explicit operator bool() const { return done; }
};

} // namespace inkwarden
