#pragma once
// SHA-256 (FIPS 180-4) of byte streams and files, for the event clips' index:
// it records the digest of every recording a clip was cut from and of every
// clip, so that a reader can check with any SHA-256 tool that nothing was
// altered. Pure; uses the processor's SHA instructions where it has them
// (x86-64 SHA extensions), the portable rounds otherwise.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kutil {

class Sha256 {
public:
    using Digest = std::array<uint8_t, 32>;

    Sha256() { Reset(); }
    void Reset();
    void Update(const void* data, size_t length);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // The digest of everything given since the last Reset; the object is
    // reset afterwards.
    Digest Finish();

    // Lower-case hexadecimal text of a digest (64 characters).
    static std::string Hex(const Digest& digest);

    // Which round function runs: the processor's SHA instructions or the
    // portable code. Tests force the portable one to compare the two.
    static bool HardwareAvailable();
    static void ForcePortableForTesting(bool portable);

private:
    void Blocks(const uint8_t* data, size_t blocks);

    std::array<uint32_t, 8> state_{};
    std::array<uint8_t, 64> pending_{}; // the bytes of an unfinished block
    size_t pendingBytes_ = 0;
    uint64_t totalBytes_ = 0;
};

// The digest of a whole regular file as hexadecimal text; empty when the file
// cannot be opened or read to its end (a card pulled meanwhile). Reads in
// pieces of 1 MiB and stops, returning empty, once *running reads false.
std::string Sha256OfFile(const std::string& path, const std::atomic<bool>* running = nullptr);
// The same of the file open as fd, from its start (pread: the descriptor's
// position is left alone) to its end.
std::string Sha256OfDescriptor(int fd, const std::atomic<bool>* running = nullptr);

} // namespace kutil
