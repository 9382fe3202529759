#pragma once
// A FAT32 card through a real FAT driver for one test: an image made with
// mkfs.vfat -F 32 in a temporary folder, mounted with fusefat (run in the
// foreground as a child, so its pid is known) and unmounted with fusermount
// at the end, also when the test failed. The card can be put in again
// (Remount: a fresh mount, nothing cached), frozen (the FUSE process stopped:
// every call on the card waits) and pulled (the FUSE process killed: every
// further call fails with ENOTCONN, a call in flight with ECONNABORTED; the
// mount point is then lazily unmounted and reads as an empty folder).
//
// Where /dev/fuse or a tool is missing, FatCardUnavailable() says why and
// KTEST_NEED_FAT_CARD() skips the test with that reason; with the environment
// variable KINETTA_REQUIRE_FUSE=1 (.ci/run sets it where /dev/fuse exists) the
// test fails instead, so that the card tests are never skipped unnoticed.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace ktest {

// Runs argv (argv[0] looked up in PATH) with stdout and stderr to outPath
// (/dev/null when empty); returns its pid or -1.
inline pid_t SpawnProgram(const std::vector<std::string>& argv, const std::string& outPath = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outPath.empty() ? "/dev/null" : outPath;
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs argv to its end; its exit status, -1 when it did not exit normally.
inline int RunProgram(const std::vector<std::string>& argv, const std::string& outPath = {}) {
    const pid_t pid = SpawnProgram(argv, outPath);
    if (pid < 0) return -1;
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

inline bool ToolInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    for (const char* sbin : {"/usr/sbin/", "/sbin/"})
        if (::access((std::string(sbin) + name).c_str(), X_OK) == 0) return true;
    return false;
}

// Why the FAT card cannot be made here; empty when it can.
inline std::string FatCardUnavailable() {
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "/dev/fuse is missing or not usable: no FUSE file systems here";
    for (const char* tool : {"mkfs.vfat", "fusefat", "fusermount"})
        if (!ToolInPath(tool))
            return std::string(tool) + " is not installed (scripts/install-deps.sh installs it)";
    return {};
}

inline bool FuseRequired() {
    const char* v = std::getenv("KINETTA_REQUIRE_FUSE");
    return v && std::string(v) == "1";
}

// Skips the test where the card cannot be made (fails it under KINETTA_REQUIRE_FUSE=1).
#define KTEST_NEED_FAT_CARD()                                                                      \
    do {                                                                                           \
        const std::string why_ = ::ktest::FatCardUnavailable();                                    \
        if (!why_.empty()) {                                                                       \
            if (::ktest::FuseRequired()) FAIL() << "FAT card tests cannot run: " << why_;          \
            GTEST_SKIP() << "FAT card tests skipped: " << why_;                                    \
        }                                                                                          \
    } while (0)

// Waits for done, checking it at least every millisecond, at most ms.
inline bool PollFor(const std::function<bool()>& done, int ms = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

inline std::string ReadProcLine(const std::string& path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

// The threads of process pid.
inline std::vector<std::string> ThreadsOf(pid_t pid) {
    std::vector<std::string> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') out.push_back(dir + "/" + e->d_name);
        ::closedir(d);
    }
    return out;
}

// System calls that read a file's bytes (-1: a page fault on a mapping).
inline const std::set<long>& ReadCalls() {
    static const std::set<long> calls = {SYS_read,    SYS_pread64,  SYS_readv,           SYS_preadv,
                                         SYS_preadv2, SYS_sendfile, SYS_copy_file_range, -1};
    return calls;
}
// An openat that creates a file (O_CREAT), as PullDuring reports it.
inline constexpr long kCreateCall = -100;
// System calls of moving or removing an entry: the renames, the links and
// removals, and the creates of a move's bookkeeping (a trash's .trashinfo, a
// placeholder that claims the new name).
inline const std::set<long>& MoveCalls() {
    static const std::set<long> calls = {SYS_rename,   SYS_renameat, SYS_renameat2, SYS_unlink,
                                         SYS_unlinkat, SYS_link,     SYS_linkat,    kCreateCall};
    return calls;
}

class FatCard {
public:
    // An image of megabytes MB. 250 MB gives a FAT32 volume whose size
    // fusefat does not report (statvfs: 0 blocks), as on the cards of users.
    explicit FatCard(int megabytes = 250) {
        if (!FatCardUnavailable().empty() || dir_.path().empty()) return;
        image_ = dir_ / "card.img";
        root_ = dir_.Mkdir("card");
        { std::ofstream(image_, std::ios::binary); }
        std::filesystem::resize_file(image_, static_cast<uintmax_t>(megabytes) << 20);
        if (RunProgram({"mkfs.vfat", "-F", "32", image_}) != 0) return;
        Mount();
    }
    ~FatCard() {
        Unmount();
        std::error_code ec;
        std::filesystem::remove(image_, ec);
    }
    FatCard(const FatCard&) = delete;
    FatCard& operator=(const FatCard&) = delete;

    bool Mounted() const { return pid_ > 0 && !pulled_; }
    // The card's root, the mount point.
    const std::string& root() const { return root_; }
    std::string operator/(const std::string& rel) const { return root_ + "/" + rel; }
    pid_t FusePid() const { return pid_; }
    const std::string& image() const { return image_; }

    // Takes the card out and puts it in again: what was written is on the
    // image, and nothing of it stays in the kernel's caches.
    bool Remount() {
        Unmount();
        pulled_ = false;
        return Mount();
    }

    // Stops the FUSE process: every call on the card waits until Thaw or Pull.
    void Freeze() {
        if (pid_ > 0) ::kill(pid_, SIGSTOP);
    }
    void Thaw() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }

    // Pulls the card: the FUSE process is killed, every further call fails;
    // then the mount point is unmounted lazily.
    void Pull() {
        if (pid_ <= 0 || pulled_) return;
        ::kill(pid_, SIGKILL);
        Reap();
        pulled_ = true;
        RunProgram({"fusermount", "-uz", root_});
    }

    // Lets the card answer its calls a few at a time until a thread of
    // process pid waits for the card in one of calls (ReadCalls(),
    // RenameCalls()), then pulls it: the pull lands in the middle of that
    // work, whatever the speed of the machine. False, with the card running
    // again, when pid ended or did not wait for the card in such a call
    // within ms milliseconds. armed (if given): the card is answered call by
    // call from the start, but pulled only once *armed reads true.
    bool PullDuring(pid_t pid, const std::set<long>& calls, int ms = 60000,
                    const std::atomic<bool>* armed = nullptr) {
        if (!Mounted()) return false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        Freeze();
        while (std::chrono::steady_clock::now() < end) {
            const std::vector<CardWait> waiting = WaitingThreads(pid);
            if (waiting.empty() && Ended(pid)) break;
            for (const CardWait& w : waiting)
                if (calls.count(w.call) && (!armed || armed->load())) {
                    Pull();
                    return true;
                }
            if (waiting.empty()) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            // Let the card answer until the first waiting thread moves on
            // (or 2 ms pass), then hold it again: a call or two per step.
            Thaw();
            const CardWait first = waiting.front();
            const auto stepEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
            while (std::chrono::steady_clock::now() < stepEnd) {
                const std::optional<CardWait> now = WaitOf(pid, first.task);
                if (!now || now->line != first.line) break;
                sched_yield();
            }
            Freeze();
        }
        Thaw();
        return false;
    }

    // Unmounts (or, once pulled, only removes what is left of the mount).
    void Unmount() {
        if (pid_ <= 0) return;
        if (!pulled_) {
            Thaw();
            if (RunProgram({"fusermount", "-u", root_}) != 0) {
                RunProgram({"fusermount", "-uz", root_});
                ::kill(pid_, SIGKILL);
            }
            Reap();
        }
        pid_ = -1;
    }

private:
    // A thread that waits for the card: its task folder, its system call
    // number (-1: a page fault) and the whole /proc line of the call.
    struct CardWait {
        std::string task;
        long call = -2;
        std::string line;
    };

    static bool Ended(pid_t pid) {
        const std::string stat = ReadProcLine("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
    }

    // Whether thread task of pid waits for the card: in a FUSE request, or
    // asleep in a read of a file on the card (a read served by the page
    // cache's read-ahead waits for the page, not in the request).
    std::optional<CardWait> WaitOf(pid_t pid, const std::string& task) const {
        const std::string stat = ReadProcLine(task + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size()) return std::nullopt;
        const char state = stat[close + 2];
        if (state != 'S' && state != 'D') return std::nullopt;
        CardWait w;
        w.task = task;
        w.line = ReadProcLine(task + "/syscall");
        std::istringstream fields(w.line);
        fields >> w.call;
        if (w.call == SYS_openat) {
            std::string dirfd, path, flags;
            if (fields >> dirfd >> path >> flags &&
                (std::strtoul(flags.c_str(), nullptr, 16) & O_CREAT))
                w.call = kCreateCall;
            fields.clear();
        }
        const std::string wchan = ReadProcLine(task + "/wchan");
        if (wchan == "request_wait_answer" || wchan == "fuse_get_req") return w;
        if (!ReadCalls().count(w.call) || w.call == -1) return std::nullopt;
        std::string a0, a1;
        if (!(fields >> a0 >> a1)) return std::nullopt; // it moved on meanwhile
        const long fd = std::strtol((w.call == SYS_sendfile ? a1 : a0).c_str(), nullptr, 16);
        char target[4096];
        const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) return std::nullopt;
        const std::string path(target, static_cast<size_t>(n));
        if (path.rfind(root_ + "/", 0) != 0) return std::nullopt;
        return w;
    }

    std::vector<CardWait> WaitingThreads(pid_t pid) const {
        std::vector<CardWait> out;
        for (const std::string& task : ThreadsOf(pid))
            if (std::optional<CardWait> w = WaitOf(pid, task)) out.push_back(*w);
        return out;
    }

    bool Mount() {
        pid_ = SpawnProgram({"fusefat", "-f", "-o", "rw+", image_, root_});
        if (pid_ < 0) return false;
        const bool up = PollFor([&] {
            int st = 0;
            if (::waitpid(pid_, &st, WNOHANG) == pid_) return true; // it gave up
            std::ifstream mounts("/proc/self/mounts");
            std::string device, point, type;
            std::string line;
            while (std::getline(mounts, line)) {
                std::istringstream f(line);
                if (f >> device >> point >> type && point == root_ && type == "fuse.fusefat")
                    return true;
            }
            return false;
        });
        // The first call waits until the driver has answered the kernel's
        // greeting: the card then answers.
        struct stat st {};
        if (!up || ::kill(pid_, 0) != 0 || ::stat(root_.c_str(), &st) != 0) {
            pid_ = -1;
            return false;
        }
        return true;
    }
    void Reap() {
        int st = 0;
        while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
    }

    TempDir dir_;
    std::string image_, root_;
    pid_t pid_ = -1;
    bool pulled_ = false;
};

} // namespace ktest
