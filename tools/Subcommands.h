#pragma once

// Every subcommand takes the arguments after its own name and returns the exit code.
namespace inkwarden::tool {

struct Subcommand {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);
};

int FetchCommand(int argc, char** argv);

} // namespace inkwarden::tool
