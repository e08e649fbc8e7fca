#pragma once

// Every subcommand takes the arguments after its own name and returns the exit code.
namespace inkwarden::tool {

// The exit code of arguments that a subcommand cannot use. The subcommand says what is wrong
// when its usage alone would not tell; the caller then prints the usage on standard error.
inline constexpr int USAGE_ERROR = 2;

struct Subcommand {
    const char* name;    // one word, or two ("skin render")
    const char* usage;   // the synopsis after the program's name
    const char* details; // lines after the synopsis in the subcommand's help, or nullptr
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
int ReleaseCertifyCommand(int argc, char** argv);
int ReleaseBundleCommand(int argc, char** argv);

} // namespace inkwarden::tool
