#pragma once

// Every subcommand takes the arguments after its own name and returns the exit code.
namespace inkwarden::tool {

struct Subcommand {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);
};

int MachineIdCommand(int argc, char** argv);
int CipherCommand(int argc, char** argv);
int QueryCommand(int argc, char** argv);
int EventCommand(int argc, char** argv);
int FileVersionCommand(int argc, char** argv);
int FetchCommand(int argc, char** argv);
int InstallCommand(int argc, char** argv);
int SkinRenderCommand(int argc, char** argv);
int SkinShowCommand(int argc, char** argv);
int SkinLayoutCommand(int argc, char** argv);
int ReleaseKeygenCommand(int argc, char** argv);
int ReleaseDigestCommand(int argc, char** argv);

} // namespace inkwarden::tool
