// Fuzz target: "Default_Folder.ini" as any bytes, read and written back.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include <unistd.h>

#include "kinetta/base/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/kinetta-fuzz-ini-XXXXXX";
        return std::string(::mkdtemp(tmpl));
    }();
    {
        std::ofstream out(dir + "/Default_Folder.ini", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    kinetta::SettingsStore store(dir);
    // Names taken from the input's first bytes, so sections and keys in it are hit.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string section = text.substr(0, text.size() % 7);
    std::string key = text.substr(text.size() / 2, text.size() % 5);
    (void)store.Read(section, key);
    (void)store.Read("DISPLAY", "VOLUME");
    if (store.Write(section.empty() ? "S" : section, key.empty() ? "k" : key, "v")) {
        // What was written reads back, unless the name itself cannot be stored.
        std::string back = store.Read(section.empty() ? "S" : section, key.empty() ? "k" : key);
        (void)back;
    }
    store.Write("DISPLAY", "VOLUME", "65535");
    if (store.Read("DISPLAY", "VOLUME") != "65535") __builtin_trap();
    return 0;
}
