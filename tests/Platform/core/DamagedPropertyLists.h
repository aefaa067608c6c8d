// Property-list files built byte by byte, for tests of damaged and hostile
// input: a small binary writer that can say things no proper writer would.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace zedtest {

// Objects are numbered in the order they are added; references are written
// with `refSize` bytes, offsets with 4.
class BinaryPlist {
public:
    explicit BinaryPlist(int refSize = 1) : refSize_(refSize) {}

    std::size_t add(std::string object) {
        objects_.push_back(std::move(object));
        return objects_.size() - 1;
    }
    std::size_t addTrue() { return add(std::string(1, '\x09')); }
    std::size_t addAscii(const std::string& s) { return add(marker(0x50, s.size()) + s); }
    std::size_t addUtf16(std::initializer_list<std::uint16_t> units) {
        std::string o = marker(0x60, units.size());
        for (std::uint16_t u : units) {
            o += static_cast<char>(u >> 8);
            o += static_cast<char>(u & 0xFF);
        }
        return add(o);
    }
    // An integer of 16 bytes, as writers lay out those past the signed range.
    std::size_t addInteger16(std::uint64_t high, std::uint64_t low) {
        return add("\x14" + be(high, 8) + be(low, 8));
    }
    std::size_t addArray(const std::vector<std::size_t>& refs) {
        return add(marker(0xA0, refs.size()) + refBytes(refs));
    }
    // Keys first, then values, as the format lays them out.
    std::size_t addDict(const std::vector<std::size_t>& keys,
                        const std::vector<std::size_t>& values) {
        return add(marker(0xD0, keys.size()) + refBytes(keys) + refBytes(values));
    }

    std::string bytes(std::size_t root = 0) const {
        std::string out = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const std::string& o : objects_) {
            offsets.push_back(out.size());
            out += o;
        }
        const std::uint64_t table = out.size();
        for (std::uint64_t off : offsets) {
            out += be(off, 4);
        }
        out += std::string(6, '\0');
        out += static_cast<char>(4);
        out += static_cast<char>(refSize_);
        out += be(objects_.size(), 8) + be(root, 8) + be(table, 8);
        return out;
    }

private:
    static std::string be(std::uint64_t v, int n) {
        std::string s;
        for (int i = n - 1; i >= 0; --i) {
            s += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
        return s;
    }
    static std::string marker(int type, std::size_t count) {
        if (count < 15) {
            return std::string(1, static_cast<char>(type | static_cast<int>(count)));
        }
        return std::string(1, static_cast<char>(type | 0x0F)) + "\x12" + be(count, 4);
    }
    std::string refBytes(const std::vector<std::size_t>& refs) const {
        std::string s;
        for (std::size_t r : refs) {
            s += be(r, refSize_);
        }
        return s;
    }

    int refSize_;
    std::vector<std::string> objects_;
};

// { "A<U+0000>B" = true } with the key in UTF-16.
inline std::string binaryWithNulInKey() {
    BinaryPlist p;
    p.addDict({1}, {2});
    p.addUtf16({'A', 0x0000, 'B'});
    p.addTrue();
    return p.bytes();
}

// `levels` arrays, each the only element of the one around it.
inline std::string xmlList(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

// { "Sensitivity" = <integer text> }, which the library reads as some number.
inline std::string xmlWithInteger(const std::string& text) {
    return xmlList("<dict><key>Sensitivity</key><integer>" + text + "</integer></dict>");
}

inline std::string nestedXmlArrays(int levels) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
    xml.reserve(xml.size() + static_cast<std::size_t>(levels) * 15 + 20);
    for (int i = 0; i < levels; ++i) {
        xml += "<array>";
    }
    for (int i = 0; i < levels; ++i) {
        xml += "</array>";
    }
    return xml + "\n</plist>\n";
}

} // namespace zedtest
