// Feeds the property-list reader arbitrary bytes: it must read them or refuse
// them, never crash, hang or run out of stack. What it reads must come back
// unchanged from our XML (the domain files) and, when every string is text
// the binary writer can encode, from our binary form.
//
// The check that guards the plist library is also run with small limits, and
// whatever it lets through is parsed by the library directly: the tree built
// must stay within those limits, or the check counted less than the library
// builds (which, at the real limits, would be a stack overflow).
#include "Platform/core/Log.h"
#include "Platform/core/PropertyList.h"
#include "Platform/core/PropertyListGuard.h"
#include "fuzz/FuzzValues.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>
#include <string>
#include <vector>

namespace {

constexpr zed::plistguard::Limits kSmall{6, 40, 4096};

[[noreturn]] void fatal(const std::string& why) {
    zed::log("%s", why.c_str());
    std::abort();
}

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

// Walks the library's tree without recursion: containers must lie no deeper
// than the limit, anything else one level below at most, and values (keys
// aside) must not outnumber it.
void expectWithinLimits(plist_t root) {
    struct Level {
        plist_t node;
        std::unique_ptr<void, decltype(&std::free)> iter;
        int depth;
    };
    std::vector<Level> stack;
    std::size_t values = 0;
    const auto enter = [&](plist_t node, int depth) {
        if (++values > kSmall.maxValues) {
            fatal("the guard let through more values than its limit");
        }
        const plist_type type = plist_get_node_type(node);
        if (type != PLIST_ARRAY && type != PLIST_DICT) {
            if (depth > kSmall.maxDepth + 1) {
                fatal("the guard let through a value nested past its limit");
            }
            return;
        }
        if (depth > kSmall.maxDepth) {
            fatal("the guard let through a container nested past its limit");
        }
        void* iter = nullptr;
        if (type == PLIST_ARRAY) {
            plist_array_new_iter(node, &iter);
        } else {
            plist_dict_new_iter(node, &iter);
        }
        stack.push_back(Level{node, {iter, &std::free}, depth});
    };
    enter(root, 0);
    while (!stack.empty()) {
        Level& top = stack.back();
        plist_t next = nullptr;
        if (plist_get_node_type(top.node) == PLIST_ARRAY) {
            plist_array_next_item(top.node, top.iter.get(), &next);
        } else {
            char* key = nullptr;
            plist_dict_next_item(top.node, top.iter.get(), &key, &next);
            std::free(key);
        }
        if (!next) {
            stack.pop_back();
            continue;
        }
        enter(next, top.depth + 1); // may grow the stack: `top` is not used after
    }
}

void checkTheGuard(std::string_view bytes) {
    if (zed::plistguard::check(bytes, kSmall)) {
        return;
    }
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    const std::unique_ptr<void, PlistFree> root(raw);
    if (raw) {
        expectWithinLimits(raw);
    }
}

[[noreturn]] void mismatch(const char* form, const zed::Value& read, const std::string& why) {
    fatal(std::string(form) + " round trip changed the value (" + why + "):\n" + read.describe());
}

void roundTrip(const char* form, const std::string& bytes, const zed::Value& read) {
    std::string error;
    auto back = zed::parsePropertyList(bytes, &error);
    if (!back) {
        mismatch(form, read, "not readable: " + error);
    }
    if (!zedfuzz::sameValue(*back, read)) {
        mismatch(form, read, "read back as\n" + back->describe());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkTheGuard(bytes);
    const auto read = zed::parsePropertyList(bytes);
    if (!read) {
        return 0;
    }
    roundTrip("XML", zed::toXmlPropertyList(*read), *read);
    if (zedfuzz::allStringsAreUnicodeText(*read)) {
        roundTrip("binary", zed::toBinaryPropertyList(*read), *read);
    }
    return 0;
}
