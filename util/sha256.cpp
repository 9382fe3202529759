#include "util/sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace kutil {

namespace {

// Round constants: the first 32 bits of the fractional parts of the cube
// roots of the first 64 primes.
alignas(16) constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void PortableBlocks(uint32_t* state, const uint8_t* data, size_t blocks) {
    uint32_t w[64];
    for (; blocks > 0; --blocks, data += 64) {
        for (int i = 0; i < 16; ++i)
            w[i] = (uint32_t(data[4 * i]) << 24) | (uint32_t(data[4 * i + 1]) << 16) |
                   (uint32_t(data[4 * i + 2]) << 8) | data[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) +
                                ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const uint32_t t2 =
                (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#if defined(__x86_64__)

bool CpuHasSha() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && (b & (1u << 29));
}

// Four rounds per step with the SHA extensions. The state is held as the
// instructions want it: ABEF in one register, CDGH in the other. Message
// words w[16..63] are formed four at a time in a ring of four registers.
__attribute__((target("sha,sse4.1,ssse3"))) void ShaniBlocks(uint32_t* state, const uint8_t* data,
                                                             size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);               // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);         // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);      // CDGH

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = state0, cdghSaved = state1;
        __m128i w[4];
        // Unrolled whole, so that w[] lives in four registers and the
        // conditions fall away: twice the throughput of the loop.
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            __m128i& current = w[g % 4];
            if (g < 4)
                current = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
            __m128i msg = _mm_add_epi32(
                current, _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            if (g >= 3 && g < 15) {
                __m128i& next = w[(g + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[(g + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
            if (g >= 1 && g <= 12) {
                __m128i& before = w[(g + 3) % 4];
                before = _mm_sha256msg1_epu32(before, current);
            }
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }

    // Back to the words A..H in memory order.
    tmp = _mm_shuffle_epi32(state0, 0x1B);       // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);    // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0); // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);    // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

const bool kHardware = CpuHasSha();

#else

constexpr bool kHardware = false;

#endif

std::atomic<bool> g_forcePortable{false};

} // namespace

void Sha256::Reset() {
    state_ = kInitial;
    pendingBytes_ = 0;
    totalBytes_ = 0;
}

bool Sha256::HardwareAvailable() {
    return kHardware;
}

void Sha256::ForcePortableForTesting(bool portable) {
    g_forcePortable.store(portable);
}

void Sha256::Blocks(const uint8_t* data, size_t blocks) {
#if defined(__x86_64__)
    if (kHardware && !g_forcePortable.load(std::memory_order_relaxed)) {
        ShaniBlocks(state_.data(), data, blocks);
        return;
    }
#endif
    PortableBlocks(state_.data(), data, blocks);
}

void Sha256::Update(const void* data, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    totalBytes_ += length;
    if (pendingBytes_ > 0) {
        const size_t take = std::min(length, 64 - pendingBytes_);
        std::memcpy(pending_.data() + pendingBytes_, p, take);
        pendingBytes_ += take;
        p += take;
        length -= take;
        if (pendingBytes_ < 64) return;
        Blocks(pending_.data(), 1);
        pendingBytes_ = 0;
    }
    if (length >= 64) {
        Blocks(p, length / 64);
        p += length / 64 * 64;
        length %= 64;
    }
    if (length > 0) {
        std::memcpy(pending_.data(), p, length);
        pendingBytes_ = length;
    }
}

Sha256::Digest Sha256::Finish() {
    // Padding: 0x80, zeros up to 56 bytes into a block, the bit length.
    const uint64_t bits = totalBytes_ * 8;
    uint8_t tail[72] = {0x80};
    const size_t zeros = (pendingBytes_ < 56 ? 56 : 120) - pendingBytes_;
    for (int i = 0; i < 8; ++i)
        tail[zeros + i] = uint8_t(bits >> (56 - 8 * i));
    Update(tail, zeros + 8);
    Digest out;
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k)
            out[size_t(4 * i + k)] = uint8_t(state_[size_t(i)] >> (24 - 8 * k));
    Reset();
    return out;
}

std::string Sha256::Hex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(64);
    for (uint8_t b : digest) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

std::string Sha256OfDescriptor(int fd, const std::atomic<bool>* running) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Sha256 hash;
    std::vector<uint8_t> buffer(1u << 20);
    for (uint64_t offset = 0;;) {
        if (running && !running->load()) return {};
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) break;
        hash.Update(buffer.data(), static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
    }
    return Sha256::Hex(hash.Finish());
}

std::string Sha256OfFile(const std::string& path, const std::atomic<bool>* running) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return {};
    struct stat st {};
    std::string digest;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) digest = Sha256OfDescriptor(fd, running);
    ::close(fd);
    return digest;
}

} // namespace kutil
