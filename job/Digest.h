#pragma once
// What a file held, in 24 bytes: its size and a 128-bit hash (XXH3-128) of
// its bytes. Enough to tell, long after a run, whether a file still holds
// exactly what the run read or wrote.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnok {

struct TDigest {
    std::uint64_t Size = 0;
    std::uint64_t High = 0, Low = 0;
    bool operator==(const TDigest&) const = default;
};

// The digest of the bytes of first followed by those of second.
TDigest DigestOf(std::string_view first, std::string_view second = {});

// "SIZE HASH", the hash in 32 lower-case hexadecimal digits; and back (none
// when the text is not of that form).
std::string DigestText(const TDigest& digest);
std::optional<TDigest> ParseDigest(std::string_view text);

}  // namespace varnok
