#include "hostile_sequence.h"

#include <cstdint>
#include <cstring>
#include <iterator>

namespace artnet_node {
namespace {

constexpr std::size_t kCheckedBytes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 44, 45,
                                         46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61};
constexpr std::size_t kTooLong[] = {241, 242, 243, 244, 245, 250, 255, 256, 300, 479, 480, 512, 1000, 1400, 1472, 2000};
constexpr long kFromSecond = 16;

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

Malformed HostileDatagram(in_addr address, bool haveSecond, unsigned long seed, long item) {
    const Bytes good = PollReply(address, 239);
    Malformed malformed{good, false};
    long at = item;
    constexpr long kByteChanges = static_cast<long>(std::size(kCheckedBytes)) * 255;
    if (at < kByteChanges) {
        malformed.bytes[kCheckedBytes[at / 255]] ^= static_cast<std::uint8_t>(at % 255 + 1);
        return malformed;
    }
    at -= kByteChanges;
    if (at < 128) {
        malformed.bytes[174] = static_cast<std::uint8_t>(at);
        return malformed;
    }
    at -= 128;
    if (at < 255) {
        malformed.bytes[190] = static_cast<std::uint8_t>(at + 1);
        return malformed;
    }
    at -= 255;
    if (at < 175) {
        malformed.bytes.resize(static_cast<std::size_t>(at));
        return malformed;
    }
    at -= 175;
    if (at < static_cast<long>(std::size(kTooLong))) {
        malformed.bytes.resize(kTooLong[at], 0);
        return malformed;
    }
    at -= static_cast<long>(std::size(kTooLong));
    if (at < kFromSecond && haveSecond) {
        malformed.fromSecond = true;
        return malformed;
    }
    std::uint64_t state = seed * 0x100000001B3ull + static_cast<std::uint64_t>(item);
    bool behindHeader = SplitMix(state) & 1;
    std::size_t length = behindHeader ? 10 + SplitMix(state) % 231 : SplitMix(state) % 301;
    malformed.bytes.assign(length, 0);
    for (std::uint8_t& byte : malformed.bytes) byte = static_cast<std::uint8_t>(SplitMix(state));
    if (behindHeader) std::memcpy(malformed.bytes.data(), good.data(), 10);
    return malformed;
}

}  // namespace artnet_node
