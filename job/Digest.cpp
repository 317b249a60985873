#include "Digest.h"

#include <xxhash.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace varnok {
namespace {

std::optional<std::uint64_t> ParseNumber(std::string_view text, int base) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

TDigest DigestOf(std::string_view first, std::string_view second) {
    XXH128_hash_t hash;
    if (second.empty()) {
        hash = XXH3_128bits(first.data(), first.size());
    } else {
        const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(),
                                                                             &XXH3_freeState);
        if (!state || XXH3_128bits_reset(state.get()) != XXH_OK ||
            XXH3_128bits_update(state.get(), first.data(), first.size()) != XXH_OK ||
            XXH3_128bits_update(state.get(), second.data(), second.size()) != XXH_OK) {
            throw std::bad_alloc();
        }
        hash = XXH3_128bits_digest(state.get());
    }
    return {first.size() + second.size(), hash.high64, hash.low64};
}

std::string DigestText(const TDigest& digest) {
    char hash[33];
    std::snprintf(hash, sizeof hash, "%016llx%016llx", static_cast<unsigned long long>(digest.High),
                  static_cast<unsigned long long>(digest.Low));
    return std::to_string(digest.Size) + ' ' + hash;
}

std::optional<TDigest> ParseDigest(std::string_view text) {
    const auto space = text.find(' ');
    if (space == std::string_view::npos || text.size() - space - 1 != 32) return std::nullopt;
    const std::string_view hash = text.substr(space + 1);
    for (const char c : hash) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    }
    const auto size = ParseNumber(text.substr(0, space), 10);
    const auto high = ParseNumber(hash.substr(0, 16), 16);
    const auto low = ParseNumber(hash.substr(16), 16);
    if (!size || !high || !low) return std::nullopt;
    return TDigest{*size, *high, *low};
}

}  // namespace varnok
