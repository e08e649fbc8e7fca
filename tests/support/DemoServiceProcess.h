#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace inkwarden::test {

// The real inkwarden-demo-service, started on a free loopback port for one test and
// stopped (SIGTERM, then reaped) when the object goes. Unless the arguments name a --data
// folder, each service keeps its events in a fresh temporary folder of its own, removed with
// the object, so that runs never share state.
class DemoServiceProcess {
public:
    explicit DemoServiceProcess(std::vector<std::string> extra_args = {});
    ~DemoServiceProcess();

    DemoServiceProcess(const DemoServiceProcess&) = delete;
    DemoServiceProcess& operator=(const DemoServiceProcess&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // Everything the service printed so far (its log).
    std::string output();

    // The codes of the events the service received, in arrival order. Asks again for a while
    // until there are at least expected: the reporter sends on its own thread.
    std::vector<int> eventCodes(std::size_t expected) const;

    // Every event the service lists, page by page (GET /api/events?since=ID), as JSON
    // objects; empty when the service does not answer with a list.
    std::vector<std::string> eventPages() const;

    // Stops the service and returns its exit status (as waitpid reports it); one that does not
    // end within 10 s is killed (the status then names SIGKILL).
    int stop();
    pid_t pid() const { return pid_; }
    // The folder of the service's events when this object made it ("" otherwise).
    const std::string& dataDir() const { return own_data_dir_; }

private:
    void readAvailable(int wait_ms);

    std::string own_data_dir_;
    pid_t pid_ = -1;
    int out_fd_ = -1;
    int port_ = 0;
    std::string output_;
};

// Path of a program built into the build tree's bin/ folder.
std::string BuiltProgram(const std::string& name);

} // namespace inkwarden::test
