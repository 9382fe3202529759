// Fuzz target: what the catalogue reads from a recording while it scans a
// card: the completeness test, the frame count of the first track, the size
// and frame count of each camera of a combined file (its sample tables), and
// the firmware version text of the GPS block header, for both families.

#include <cstdint>
#include <string>

#include "kinetta/catalogue/container_probe.h"
#include "tests/fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzfile::AsFile(0, data, size);
    if (path.empty()) return 0;
    for (kinetta::RecorderFamily family :
         {kinetta::RecorderFamily::TX40, kinetta::RecorderFamily::TX50}) {
        const kinetta::RecordingProbe probe = kinetta::ContainerProbe(family);
        probe.isComplete(path);
        // A frame count is never more than the samples the table can hold.
        const int64_t frames = probe.frameCount(path);
        if (frames < -1 || frames > int64_t(size)) __builtin_trap();
        for (int camera = -1; camera <= 2; ++camera) {
            int64_t bytes = 0, count = 0;
            if (probe.cameraStream(path, camera, &bytes, &count) &&
                (bytes < 0 || count < 0 || count > int64_t(size)))
                __builtin_trap();
        }
        const std::string version = probe.firmwareVersion(path);
        if (version.size() > 40) __builtin_trap();
    }
    return 0;
}
