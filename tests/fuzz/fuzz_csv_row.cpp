// Fuzz target: the CSV row of a recording whose files hold arbitrary bytes,
// as a camera pair (front and rear from the two halves of the input) and as
// a combined file, in both families, and the output name of its first record.

#include <cstdint>
#include <string>

#include "kinetta/fileops/csv_export.h"
#include "tests/fuzz/fuzz_input_file.h"

using namespace kinetta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t half = size / 2;
    const std::string whole = fuzzfile::AsFile(0, data, size);
    const std::string front = fuzzfile::AsFile(1, data, half);
    const std::string rear = fuzzfile::AsFile(2, data + half, size - half);
    if (whole.empty() || front.empty() || rear.empty()) return 0;
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        RecordingEntry pair;
        pair.frontPath = front;
        pair.frontName =
            family == RecorderFamily::TX40 ? "012_153012A_M.MP4" : "012_153012GTO_F.MP4";
        pair.rearPath = rear;
        pair.rearName =
            family == RecorderFamily::TX40 ? "012_153012A_R.MP4" : "012_153012GTO_R.MP4";
        RecordingEntry combined;
        combined.frontPath = whole;
        combined.frontName = "012_153012_A.MP4";
        for (const RecordingEntry& e : {pair, combined}) {
            const CsvFacts facts = MeasureRecording(e, family);
            const std::string row = CsvRow(facts, family);
            if (row.size() < 2 || row.compare(row.size() - 2, 2, "\r\n") != 0) __builtin_trap();
            (void)CsvFileNameFor(e, family);
        }
    }
    return 0;
}
