#include "platform/ProcessRunner.h"

#include "platform/CommandLineSplitter.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace inkwarden {
namespace {

// Without process descriptors the wait looks this often whether the child has ended.
constexpr std::chrono::milliseconds EXIT_POLL_STEP{10};
constexpr mode_t EXECUTABLE_MODE = 0755; // rwxr-xr-x

// Owns one of the spawn interface's objects, made and destroyed by its own pair of functions.
template <typename T, int (*Init)(T*), int (*Destroy)(T*)> class SpawnObject {
public:
    SpawnObject() { ok_ = Init(&object_) == 0; }
    ~SpawnObject() {
        if (ok_) {
            Destroy(&object_);
        }
    }
    SpawnObject(const SpawnObject&) = delete;
    SpawnObject& operator=(const SpawnObject&) = delete;
    bool ok() const { return ok_; }
    T* get() { return &object_; }

private:
    T object_{};
    bool ok_ = false;
};

using SpawnActions = SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init,
                                 posix_spawn_file_actions_destroy>;
using SpawnAttributes =
    SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The program's path as the parent sees it: the child changes its directory before it
// starts the program, and a relative path must not be taken from there.
std::string ResolveProgram(const std::string& program) {
    if (program.empty()) {
        return {};
    }
    if (program.find('/') != std::string::npos) {
        if (program.front() == '/') {
            return program;
        }
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) == nullptr) {
            return {};
        }
        return std::string(cwd) + "/" + program;
    }
    const char* path = std::getenv("PATH");
    const std::string search = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= search.size()) {
        std::size_t end = search.find(':', start);
        if (end == std::string::npos) {
            end = search.size();
        }
        const std::string folder = search.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::uint32_t ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return static_cast<std::uint32_t>(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return EXIT_CODE_SIGNAL_BASE + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    return EXIT_CODE_STILL_RUNNING;
}

// Blocks until the child has ended and collects it; false when it cannot be collected.
bool Reap(pid_t pid, int& status) {
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// A child nobody waits for any more is collected when it ends, so it leaves no zombie.
void ReapInBackground(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        Reap(pid, status);
    }).detach();
}

enum class SliceResult { ENDED, TIMED_OUT, FAILED };

// Waits up to one slice for the child's end without collecting it.
SliceResult WaitSlice(pid_t pid, const UniqueFd& pidfd, std::chrono::milliseconds slice) {
    if (pidfd) {
        pollfd entry{pidfd.get(), POLLIN, 0};
        while (true) {
            const int n = ::poll(&entry, 1, static_cast<int>(slice.count()));
            if (n > 0) {
                return SliceResult::ENDED;
            }
            if (n == 0) {
                return SliceResult::TIMED_OUT;
            }
            if (errno != EINTR) {
                return SliceResult::FAILED;
            }
        }
    }
    // Without process descriptors: look in short steps.
    const auto deadline = std::chrono::steady_clock::now() + slice;
    while (true) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            if (errno == EINTR) {
                continue;
            }
            return SliceResult::FAILED;
        }
        if (info.si_pid == pid) {
            return SliceResult::ENDED;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return SliceResult::TIMED_OUT;
        }
        std::this_thread::sleep_for(EXIT_POLL_STEP);
    }
}

// Collects the ended child and stores its exit code where one is wanted.
void CollectExitCode(pid_t pid, std::uint32_t* exit_code) {
    int status = 0;
    if (Reap(pid, status) && exit_code != nullptr) {
        *exit_code = ExitCodeOf(status);
    }
}

// Waits slice by slice while keep_waiting says so; a child that outlives the wait is left
// running, to be reaped in the background.
void WaitInSlices(pid_t pid, std::uint32_t* exit_code, const std::function<bool()>& keep_waiting,
                  std::chrono::milliseconds slice) {
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    while (true) {
        const SliceResult result = WaitSlice(pid, pidfd, slice);
        if (result == SliceResult::ENDED) {
            CollectExitCode(pid, exit_code);
            return;
        }
        if (result == SliceResult::FAILED || !keep_waiting()) {
            break;
        }
    }
    if (exit_code != nullptr) {
        *exit_code = EXIT_CODE_STILL_RUNNING;
    }
    ReapInBackground(pid);
}

// The child's standard input, working folder and signal state.
bool PrepareSpawn(SpawnActions& actions, SpawnAttributes& attributes,
                  const std::string& working_folder) {
    if (!actions.ok() || !attributes.ok()) {
        return false;
    }
    if (::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
        0) {
        return false;
    }
    if (!working_folder.empty() &&
        ::posix_spawn_file_actions_addchdir_np(actions.get(), working_folder.c_str()) != 0) {
        return false;
    }
    // The caller's thread may block or ignore signals; the program starts with the defaults.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return ::posix_spawnattr_setsigmask(attributes.get(), &none) == 0 &&
           ::posix_spawnattr_setsigdefault(attributes.get(), &all) == 0 &&
           ::posix_spawnattr_setflags(attributes.get(),
                                      POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

} // namespace

bool RunProcess(const std::string& command, const std::string& working_folder, bool wait,
                std::uint32_t* exit_code, const std::function<bool()>& keep_waiting,
                std::chrono::milliseconds wait_slice) {
    // The whole command line is used: cutting it short would hand the program a truncated
    // last argument, such as an install folder that names another place.
    std::vector<std::string> arguments = SplitCommandLine(command);
    if (arguments.empty()) {
        return false;
    }
    const std::string program = ResolveProgram(arguments.front());
    if (program.empty()) {
        return false;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    SpawnActions actions;
    SpawnAttributes attributes;
    if (!PrepareSpawn(actions, attributes, working_folder)) {
        return false;
    }
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(),
                      environ) != 0) {
        return false;
    }

    if (!wait) {
        ReapInBackground(pid);
    } else if (!keep_waiting) {
        CollectExitCode(pid, exit_code);
    } else {
        WaitInSlices(pid, exit_code, keep_waiting, wait_slice);
    }
    return true;
}

bool MakeExecutable(const std::string& path) {
    return ::chmod(path.c_str(), EXECUTABLE_MODE) == 0;
}

} // namespace inkwarden
