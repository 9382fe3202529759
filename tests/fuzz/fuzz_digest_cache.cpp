// Fuzz target: the source digest cache file as any bytes, as they come and
// with a correct check line added (so that the lines themselves are
// reached). Parsing reads only inside the input; whatever parses is written
// back to the same entries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/clips/source_digests.h"
#include "util/sha256.h"

namespace {

void Check(std::string_view text) {
    std::vector<kinetta::DigestEntry> entries;
    if (!kinetta::ParseDigestCache(text, &entries)) {
        if (!entries.empty()) __builtin_trap();
        return;
    }
    std::vector<kinetta::DigestEntry> back;
    if (!kinetta::ParseDigestCache(kinetta::DigestCacheText(entries), &back) ||
        back.size() != entries.size())
        __builtin_trap();
    for (size_t i = 0; i < back.size(); ++i)
        if (!(back[i].file == entries[i].file) || back[i].sha256 != entries[i].sha256 ||
            back[i].storedSeconds != entries[i].storedSeconds)
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Check(text);
    kutil::Sha256 sum;
    sum.Update(text);
    Check(std::string(text) + "end " + kutil::Sha256::Hex(sum.Finish()) + "\n");
    return 0;
}
