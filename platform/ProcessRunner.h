#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace inkwarden {

// Exit code stored when the wait stopped while the process was still running.
constexpr std::uint32_t EXIT_CODE_STILL_RUNNING = 259;
// A process ended by a signal reports 128 plus the signal number, as shells do.
constexpr std::uint32_t EXIT_CODE_SIGNAL_BASE = 128;
// How long a wait with keep_waiting runs before it asks again.
constexpr std::chrono::milliseconds PROCESS_WAIT_SLICE{1000};

// Starts the program named by the first argument of a command line in the Windows quoting
// rules, with the other arguments, in working_folder (empty: the caller's current
// directory), with the caller's environment and standard input from /dev/null. A program
// path without "/" is looked up in PATH; a relative one is taken from the caller's current
// directory. Returns true when the process was created; a missing or non-executable program
// or working folder gives false.
//
// With wait set it waits for the end of the process: without keep_waiting for as long as it
// takes, with it in slices of wait_slice (1000 ms unless a test shortens it), asking
// keep_waiting after each slice and stopping when it says false. Then exit_code, if given,
// receives the exit status (128 + signal for a process killed by a signal,
// EXIT_CODE_STILL_RUNNING when it has not ended yet).
// A process that is not waited for is reaped in the background when it ends.
bool RunProcess(const std::string& command, const std::string& working_folder, bool wait,
                std::uint32_t* exit_code = nullptr,
                const std::function<bool()>& keep_waiting = nullptr,
                std::chrono::milliseconds wait_slice = PROCESS_WAIT_SLICE);

// Gives a file the modes rwxr-xr-x, so that a downloaded program can be started.
bool MakeExecutable(const std::string& path);

} // namespace inkwarden
