// Fuzz target: the card's settings file "DRFormatConfig.dfc" (its three
// fields and the GPS data version text of the update check), read from
// memory and from a file in a card folder.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "kinetta/catalogue/card_settings.h"
#include "tests/fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kinetta::CardSettings parsed;
    const bool ok = kinetta::ParseCardSettings(data, size, &parsed);
    if (ok != (size >= kinetta::kCardSettingsMinSize)) __builtin_trap();
    if (ok) {
        if (parsed.field16.size() != 8 || parsed.field24.size() != 3 ||
            parsed.gpsDataVersion.size() != 6)
            __builtin_trap();
        const std::string text = kinetta::GpsDataVersionText(parsed.gpsDataVersion);
        if (text.size() > 12) __builtin_trap();
    }
    // The same bytes as the file of a card root.
    const std::string& root = fuzzfile::OutputDir("fuzz-card");
    const std::string path = root + "/DRFormatConfig.dfc";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
        kinetta::CardSettings read;
        if (kinetta::ReadCardSettings(root, &read) != ok) __builtin_trap();
        if (ok && (read.field16 != parsed.field16 || read.gpsDataVersion != parsed.gpsDataVersion))
            __builtin_trap();
    }
    return 0;
}
