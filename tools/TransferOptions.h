#pragma once

// The options that every subcommand making transfers takes (fetch, query, event, install).
namespace inkwarden::tool {

// What TakeTransferOption made of argv[i].
enum class TransferOption {
    NOT_OURS, // not one of them: the subcommand reads it
    TAKEN,    // read, with its value; i points past it
    INVALID,  // one of them, but unusable (a message has been printed)
};

// Reads --ca-bundle FILE (and the proxy sign-in options) at argv[i].
TransferOption TakeTransferOption(int argc, char** argv, int& i);

// The synopsis and detail lines of those options, for the subcommands' help.
#define IW_TRANSFER_SYNOPSIS "[--ca-bundle FILE]"
inline constexpr const char* TRANSFER_DETAILS =
    "  --ca-bundle FILE: check https servers against the CA certificates in FILE (PEM)\n"
    "                    instead of the system's\n";

} // namespace inkwarden::tool
