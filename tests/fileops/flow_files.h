#pragma once
// Recordings for the flows' work tests: entries for files and built movies
// written to disk, and a flow's work run on a worker as the viewer runs it.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "container/mp4_builder.h"
#include "kinetta/base/job_control.h"
#include "kinetta/catalogue/catalogue.h"

namespace ktest {

// The entry of a recording: a combined file alone, or a pair.
inline kinetta::RecordingEntry Entry(const std::string& front, const std::string& rear = {}) {
    kinetta::RecordingEntry e;
    e.frontPath = front;
    e.frontName = std::filesystem::path(front).filename();
    e.rearPath = rear;
    e.rearName = rear.empty() ? "" : std::filesystem::path(rear).filename().string();
    return e;
}

inline void WriteBytes(const std::string& path, const testmp4::Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Runs work on a worker (cancelled at once when asked) and takes its outcome.
inline kinetta::JobControl::Outcome
RunOnWorker(const std::function<std::uint32_t(kinetta::JobControl&)>& work,
            bool cancelFirst = false) {
    kinetta::JobControl job;
    job.Start([&](kinetta::JobControl& j) {
        if (cancelFirst) j.Cancel();
        return work(j);
    });
    job.Join();
    return job.TakeOutcome();
}

} // namespace ktest
