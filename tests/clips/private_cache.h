#pragma once
// The digest cache of a clips test binary is a folder of its own
// ($XDG_CACHE_HOME of the binary and of the programs it starts), removed at
// the end: the user's cache is never touched. Included by one file of each
// binary.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "kinetta/clips/source_digests.h"
#include "support/temp_dir.h"

namespace ktest {

class PrivateDigestCache : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<TempDir>();
        ::setenv("XDG_CACHE_HOME", dir_->path().c_str(), 1);
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<TempDir> dir_;
};

inline const auto* const kPrivateDigestCache =
    ::testing::AddGlobalTestEnvironment(new PrivateDigestCache);

// Blocks until the file's last change lies far enough back for its digest
// to be kept (kinetta::kSettledNs: a computed moment, not a guess).
inline void WaitUntilSettled(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    const int64_t changed = int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    const int64_t due =
        changed + (st.st_ctim.tv_nsec == 0 ? kinetta::kSettledCoarseNs : kinetta::kSettledNs);
    const auto now = [] {
        timespec t{};
        ::clock_gettime(CLOCK_REALTIME, &t);
        return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    for (int64_t n = now(); n <= due; n = now())
        std::this_thread::sleep_for(std::chrono::nanoseconds(due - n + 1'000'000));
}

} // namespace ktest
