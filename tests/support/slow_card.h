#pragma once
// A slow card for a test: the slowcard FUSE layer (tests/support/slowcard)
// over a folder of the test's, started as a child of the test and ended by its
// pid. Counts() reads the layer's per-file counts of opens, reads and
// attribute requests through the mount; Pull() ends the layer the way a card
// is pulled (SIGKILL, then the mount is detached).

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ktest {

class SlowCard {
public:
    struct Count {
        unsigned long opens = 0, reads = 0, stats = 0;
    };

    // Why a slow card cannot be mounted here (no /dev/fuse, no fusermount3,
    // the layer not built); empty when it can.
    static std::string Unavailable(const std::string& layer) {
        if (!std::filesystem::exists("/dev/fuse")) return "/dev/fuse does not exist";
        if (!std::filesystem::exists(layer)) return layer + " was not built (libfuse3-dev)";
        if (std::system("command -v fusermount3 >/dev/null 2>&1") != 0)
            return "fusermount3 is not installed (fuse3)";
        return {};
    }

    // Mounts source at mountpoint (an empty folder) with delayMs per call;
    // false when the mount did not come up within 10 s.
    bool Start(const std::string& layer, const std::string& source, const std::string& mountpoint,
               double delayMs, bool readOnly = false) {
        mount_ = mountpoint;
        const std::string delay = std::to_string(delayMs);
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<const char*> argv = {layer.c_str(), "--delay-ms", delay.c_str()};
            if (readOnly) argv.push_back("--read-only");
            argv.insert(argv.end(), {source.c_str(), mountpoint.c_str(), nullptr});
            ::execv(layer.c_str(), const_cast<char* const*>(argv.data()));
            ::_exit(127);
        }
        if (pid_ < 0) return false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            if (std::filesystem::exists(mount_ + "/.slowcard-counts")) return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            // Waiting for another process to mount: there is no event to wait on.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Every file the layer has counted, by its path below the mount ("/a/b").
    std::map<std::string, Count> Counts() const {
        std::map<std::string, Count> out;
        std::ifstream in(mount_ + "/.slowcard-counts");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            Count c;
            std::string path;
            if (fields >> c.opens >> c.reads >> c.stats && std::getline(fields >> std::ws, path))
                out[path] = c;
        }
        return out;
    }
    // Sets every count back to zero.
    void ResetCounts() const { std::ifstream(mount_ + "/.slowcard-reset").get(); }

    pid_t Pid() const { return pid_; }

    // The card pulled: the layer killed; every further call on the mount fails.
    void Pull() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        Detach(true);
    }

    ~SlowCard() {
        if (pid_ > 0) {
            Detach(false);
            ::waitpid(pid_, nullptr, 0); // the layer ends once it is unmounted
        }
    }

private:
    void Detach(bool lazy) const {
        const std::string cmd =
            std::string("fusermount3 -u ") + (lazy ? "-z " : "") + "'" + mount_ + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0 && !lazy) {
            // Still busy: detached now, gone once the last user lets go.
            const int lazyRc =
                std::system(("fusermount3 -u -z '" + mount_ + "' 2>/dev/null").c_str());
            (void)lazyRc;
        }
    }

    std::string mount_;
    pid_t pid_ = -1;
};

} // namespace ktest
