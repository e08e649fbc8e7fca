#include "release/SigningKeyCertificate.h"

#include "telemetry/PayloadCipher.h"

#include <algorithm>
#include <cstdio>

namespace inkwarden {
namespace {

constexpr std::string_view KEY_PREFIX = "key ";
constexpr std::string_view NOT_AFTER_PREFIX = "not-after ";
// 32 bytes: 10 whole groups of three and two bytes, written as 43 characters and "=".
constexpr std::size_t KEY_TEXT_LENGTH = 44;
constexpr std::size_t UTC_TIME_LENGTH = 20; // YYYY-MM-DDTHH:MM:SSZ
// The certificate text is a little over 100 bytes; its Base64 never needs more than this.
constexpr std::size_t MAX_CERTIFICATE_TEXT = 256;

// Base64 in its canonical form only: the decoded bytes give the same text back.
std::optional<std::string> DecodeCanonicalBase64(std::string_view text) {
    const std::string encoded(text);
    if (encoded.empty()) {
        return std::nullopt;
    }
    std::string bytes = Base64Decode(encoded);
    if (bytes.empty() || Base64Encode(bytes) != encoded) {
        return std::nullopt;
    }
    return bytes;
}

// Exactly `digits` decimal digits.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t digits) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The line that starts at `at` with prefix and ends with a line feed; its content after the
// prefix, and `at` moved past it.
std::optional<std::string_view> Line(std::string_view text, std::size_t& at,
                                     std::string_view prefix) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos || text.substr(at, prefix.size()) != prefix ||
        end < at + prefix.size()) {
        return std::nullopt;
    }
    const std::string_view content = text.substr(at + prefix.size(), end - at - prefix.size());
    at = end + 1;
    return content;
}

} // namespace

std::string UtcTimeText(UtcTime time) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss clock(time - day);
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

std::optional<UtcTime> ParseUtcTime(std::string_view text) {
    if (text.size() != UTC_TIME_LENGTH || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2),
               second = Digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *hour > 23 || *minute > 59 ||
        *second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date(std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day)));
    if (!date.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days(date) + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
           std::chrono::seconds(*second);
}

bool StillValid(UtcTime not_after, UtcTime now) {
    return now < not_after + NOT_AFTER_SLACK;
}

UtcTime UtcNow() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::string SigningKeyCertificate::text() const {
    std::string text = CERTIFICATE_CONTEXT;
    text += '\n';
    text += KEY_PREFIX;
    text += Base64Encode(std::string(key.begin(), key.end()));
    text += '\n';
    text += NOT_AFTER_PREFIX;
    text += UtcTimeText(not_after);
    text += '\n';
    return text;
}

std::optional<SigningKeyCertificate> ParseCertificateText(std::string_view text) {
    std::size_t at = 0;
    const auto context = Line(text, at, CERTIFICATE_CONTEXT);
    if (!context || !context->empty()) {
        return std::nullopt;
    }
    const auto key_text = Line(text, at, KEY_PREFIX);
    const auto time_text = key_text ? Line(text, at, NOT_AFTER_PREFIX) : std::nullopt;
    // Nothing may follow the last line.
    if (!time_text || at != text.size() || key_text->size() != KEY_TEXT_LENGTH) {
        return std::nullopt;
    }
    const auto key = DecodeCanonicalBase64(*key_text);
    const auto not_after = ParseUtcTime(*time_text);
    if (!key || key->size() != ED25519_PUBLIC_KEY_BYTES || !not_after) {
        return std::nullopt;
    }
    SigningKeyCertificate certificate;
    std::copy(key->begin(), key->end(), certificate.key.begin());
    certificate.not_after = *not_after;
    return certificate;
}

std::optional<SigningKeyHeader> ParseSigningKeyHeader(std::string_view value) {
    const std::size_t dot = value.find('.');
    if (dot == std::string_view::npos || dot > MAX_CERTIFICATE_TEXT) {
        return std::nullopt;
    }
    const auto text = DecodeCanonicalBase64(value.substr(0, dot));
    const auto signature = ParseSignatureHeader(value.substr(dot + 1));
    if (!text || !signature) {
        return std::nullopt;
    }
    return SigningKeyHeader{*text, *signature};
}

std::string SigningKeyHeaderValue(std::string_view certificate_text,
                                  const ReleaseSignatureBytes& signature) {
    return Base64Encode(std::string(certificate_text)) + "." + SignatureHeaderValue(signature);
}

CertifiedKey CheckSigningKeyHeader(std::string_view value, const ReleasePublicKey& root,
                                   UtcTime now) {
    CertifiedKey result;
    const std::optional<SigningKeyHeader> header = ParseSigningKeyHeader(value);
    const std::optional<SigningKeyCertificate> certificate =
        header ? ParseCertificateText(header->certificate_text) : std::nullopt;
    if (!certificate) {
        return result;
    }
    result.certificate = *certificate;
    // The signature is checked on the text as it came; the parse above only read it.
    if (!root.verify(header->certificate_text, header->signature)) {
        result.check = CertificateCheck::BAD_SIGNATURE;
        return result;
    }
    if (!StillValid(certificate->not_after, now)) {
        result.check = CertificateCheck::EXPIRED;
        return result;
    }
    result.key = ReleasePublicKey::FromRaw(certificate->key);
    result.check = result.key ? CertificateCheck::VALID : CertificateCheck::MALFORMED;
    return result;
}

} // namespace inkwarden
