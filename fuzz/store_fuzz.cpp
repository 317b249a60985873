// The store file's reader and writer: whatever parses is written so that it
// parses again to the same keys and values, and writing that gives the same
// file again. Input: the store file's bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "StoreFile.h"

namespace {

// Every key with its spelling and every value with its kind and data, in
// enumeration order; lengths first, so that no content can pass for structure.
void Dump(const varnok::TStoreKey& key, std::string& out) {
    const auto field = [&out](std::string_view s) {
        out += std::to_string(s.size());
        out += ':';
        out += s;
    };
    field(key.Name());
    out += std::to_string(key.Values().size()) + "v";
    for (const varnok::TStoreValue& value : key.Values()) {
        field(value.Name);
        out += value.IsText ? 'T' : 'R';
        field(value.Data);
    }
    const auto children = key.Children();
    out += std::to_string(children.size()) + "k";
    for (const varnok::TStoreKey* child : children) Dump(*child, out);
}

std::string Dump(const varnok::TStoreDocument& document) {
    std::string out;
    Dump(document.Root(), out);
    return out;
}

[[noreturn]] void Mismatch(const char* what, const std::string& first, const std::string& second) {
    std::fprintf(stderr, "%s\n--- first\n%s\n--- second\n%s\n", what, first.c_str(), second.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    varnok::TStoreDocument document;
    try {
        document = varnok::TStoreDocument::Parse(text);
    } catch (const std::runtime_error&) {
        return 0;  // refused with the line that offends
    }
    const std::string written = document.Serialize();
    varnok::TStoreDocument reread;
    try {
        reread = varnok::TStoreDocument::Parse(written);
    } catch (const std::runtime_error& error) {
        Mismatch(error.what(), std::string(text), written);
    }
    const std::string before = Dump(document);
    const std::string after = Dump(reread);
    if (before != after) Mismatch("the values changed", before, after);
    const std::string rewritten = reread.Serialize();
    if (rewritten != written) Mismatch("the file changed", written, rewritten);
    return 0;
}
