#include "tools/mkcard/card.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace mkcard {

namespace fs = std::filesystem;

namespace {

bool WriteBytes(const fs::path& path, const void* data, size_t size, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool PrepareOutput(const fs::path& dir, bool force, std::string* error) {
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec)) {
            *error = dir.string() + " exists and is not a folder";
            return false;
        }
        if (!fs::is_empty(dir, ec)) {
            // Only a card that mkcard wrote earlier is replaced.
            if (!force || !fs::exists(dir / kManifestName, ec)) {
                *error = dir.string() + " is not empty (--force replaces an earlier mkcard card)";
                return false;
            }
            // Listed first: the folder is not changed while it is being read.
            std::vector<fs::path> entries;
            for (const auto& entry : fs::directory_iterator(dir, ec))
                entries.push_back(entry.path());
            for (const fs::path& entry : entries) {
                std::error_code removeError;
                fs::remove_all(entry, removeError);
                if (removeError) ec = removeError;
            }
            if (ec) {
                *error = "cannot empty " + dir.string() + ": " + ec.message();
                return false;
            }
        }
    }
    fs::create_directories(dir, ec);
    if (ec) {
        *error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

bool WriteCard(const CardOptions& options, CardReport* report, std::string* error) {
    const auto began = std::chrono::steady_clock::now();
    CardPlan plan;
    try {
        plan = MakeCardPlan(options.family, options.preset, options.seed);
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
    if (!options.x264Preset.empty())
        for (PlannedFile& f : plan.files)
            f.recipe.x264Preset = options.x264Preset;
    const fs::path root(options.outDir);
    if (!PrepareOutput(root, options.force, error)) return false;
    // A placeholder first, so that --force recognises a card cut short.
    if (!WriteBytes(root / kManifestName, "{}\n", 3, error)) return false;
    std::error_code ec;
    for (const std::string& folder : plan.folders) {
        fs::create_directories(root / folder, ec);
        if (ec) {
            *error = "cannot create " + folder + ": " + ec.message();
            return false;
        }
    }

    std::vector<RecordingReport> reports(plan.files.size());
    std::vector<size_t> work;
    for (size_t i = 0; i < plan.files.size(); ++i)
        if (plan.files[i].generated) work.push_back(i);
    // Longest jobs first keeps both cores busy to the end.
    std::stable_sort(work.begin(), work.end(), [&](size_t a, size_t b) {
        auto cost = [&](const RecordingSpec& s) {
            double pixels = 0;
            if (s.content != FileContent::Rear) pixels += double(s.frontWidth) * s.frontHeight;
            if (s.content != FileContent::Front) pixels += double(s.rearWidth) * s.rearHeight;
            return pixels * s.durationSeconds * 1e6 / s.frameUs;
        };
        return cost(plan.files[a].recipe) > cost(plan.files[b].recipe);
    });
    int jobs =
        options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency());
    jobs = std::clamp(jobs, 1, std::max(1, static_cast<int>(work.size())));
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex; // guards firstError
    std::string firstError;
    auto worker = [&] {
        for (;;) {
            const size_t k = next.fetch_add(1);
            if (k >= work.size() || failed.load()) return;
            const PlannedFile& f = plan.files[work[k]];
            std::string e;
            if (!WriteRecording(f.recipe, (root / f.path).string(), &reports[work[k]], &e)) {
                std::lock_guard<std::mutex> lock(errorMutex);
                if (!failed.exchange(true)) firstError = f.path + ": " + e;
                return;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back(worker);
    for (std::thread& t : threads)
        t.join();
    if (failed) {
        *error = firstError;
        return false;
    }

    std::vector<uint64_t> sizes(plan.files.size(), 0);
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const PlannedFile& f = plan.files[i];
        if (!f.generated) {
            fs::copy_file(root / f.copyOf, root / f.path, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                *error = "cannot copy " + f.copyOf + " to " + f.path + ": " + ec.message();
                return false;
            }
        }
        sizes[i] = fs::file_size(root / f.path, ec);
    }
    if (!WriteBytes(root / plan.marker, plan.markerText.data(), plan.markerText.size(), error))
        return false;
    if (!WriteBytes(root / kCardSettingsName, plan.cardSettings.data(), plan.cardSettings.size(),
                    error))
        return false;
    if (plan.traceMarker) {
        const std::string text = "pvtrace\r\n";
        if (!WriteBytes(root / kTraceMarkerName, text.data(), text.size(), error)) return false;
    }
    const std::string manifest = ManifestJson(plan, reports, sizes);
    if (!WriteBytes(root / kManifestName, manifest.data(), manifest.size(), error)) return false;

    if (report) {
        *report = CardReport{};
        report->manifest = manifest;
        for (size_t i = 0; i < plan.files.size(); ++i) {
            report->bytes += sizes[i];
            ++report->files;
            if (plan.files[i].generated)
                report->frames +=
                    int64_t(reports[i].frames) *
                    int64_t(plan.files[i].recipe.content == FileContent::Combined ? 2 : 1);
        }
        report->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    }
    return true;
}

} // namespace mkcard
