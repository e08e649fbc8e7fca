// cipher: enciphers standard input into Base64 text, or deciphers such text.
#include "Subcommands.h"
#include "telemetry/PayloadCipher.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

namespace inkwarden::tool {
namespace {

std::string ReadStandardInput() {
    std::cin >> std::noskipws;
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

} // namespace

int CipherCommand(int argc, char** argv) {
    if (argc != 1 ||
        (std::strcmp(argv[0], "encrypt") != 0 && std::strcmp(argv[0], "decrypt") != 0)) {
        return USAGE_ERROR;
    }
    std::ios::sync_with_stdio(false);
    const PayloadKey key;
    std::string input = ReadStandardInput();
    if (std::strcmp(argv[0], "encrypt") == 0) {
        const std::string text = Base64Encode(EncryptPayload(key, input));
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    // Text from a terminal or a file ends with a line break that is not part of the Base64.
    while (!input.empty() && (input.back() == '\n' || input.back() == '\r' || input.back() == ' ' ||
                              input.back() == '\t')) {
        input.pop_back();
    }
    const std::string cipher = Base64Decode(input);
    if (cipher.empty()) {
        std::fprintf(stderr, "inkwarden-tool: the input is not Base64 text of a payload\n");
        return 1;
    }
    std::string plain;
    if (!DecryptPayloadChecked(key, cipher, plain)) {
        std::fprintf(stderr, "inkwarden-tool: the payload does not decipher under the key\n");
        return 1;
    }
    std::fwrite(plain.data(), 1, plain.size(), stdout);
    return 0;
}

} // namespace inkwarden::tool
