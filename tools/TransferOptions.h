#pragma once

// The options that every subcommand making transfers takes (fetch, query, event, install).
namespace inkwarden::tool {

// What TakeTransferOption made of argv[i].
enum class TransferOption {
    NOT_OURS, // not one of them: the subcommand reads it
    TAKEN,    // read, with its value; i points past it
    INVALID,  // one of them, but unusable (a message has been printed)
};

// Reads --ca-bundle FILE or --proxy-user USER at argv[i]. The proxy password comes from
// INKWARDEN_PROXY_PASSWORD or, without it, from the terminal.
TransferOption TakeTransferOption(int argc, char** argv, int& i);

// The synopsis and detail lines of those options, for the subcommands' help.
#define IW_TRANSFER_SYNOPSIS "[--ca-bundle FILE] [--proxy-user USER]"
inline constexpr const char* TRANSFER_DETAILS =
    "  --ca-bundle FILE: check https servers against the CA certificates in FILE (PEM)\n"
    "                    instead of the system's\n"
    "  --proxy-user USER: sign in to the proxy as USER; the password comes from\n"
    "                     INKWARDEN_PROXY_PASSWORD or is asked for on the terminal\n";

} // namespace inkwarden::tool
