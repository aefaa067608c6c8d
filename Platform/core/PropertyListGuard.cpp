#include "PropertyListGuard.h"

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zed::plistguard {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string notAPropertyList() {
    return "not an XML or binary property list";
}

std::string nestingTooDeep(const Limits& limits) {
    return "nesting deeper than " + std::to_string(limits.maxDepth) + " levels";
}

std::string tooManyValues(const Limits& limits) {
    return "more than " + std::to_string(limits.maxValues) + " values";
}

std::string nulCharacter() {
    return "a string holds a NUL character";
}

std::string unpairedSurrogate() {
    return "a UTF-16 string with an unpaired surrogate";
}

// Binary lists: a header, objects, a table of object offsets and a trailer
// saying how wide offsets and references are. The walk follows references
// the way the library does, with a stack of its own instead of recursion;
// what each object holds is checked once however often it is referred to.
class BinaryCheck {
public:
    BinaryCheck(std::string_view bytes, const Limits& limits) : b_(bytes), limits_(limits) {}

    std::optional<std::string> run() {
        if (b_.size() < kHeader + kTrailer) {
            return "a binary property list too short for its trailer";
        }
        const std::size_t trailer = b_.size() - kTrailer;
        offsetSize_ = byte(trailer + 6);
        refSize_ = byte(trailer + 7);
        objects_ = be(trailer + 8, 8);
        const std::uint64_t root = be(trailer + 16, 8);
        const std::uint64_t table = be(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || objects_ == 0 ||
            root >= objects_ || table < kHeader || table >= trailer ||
            objects_ > (trailer - table) / offsetSize_) {
            return "a binary property list with a damaged trailer";
        }
        table_ = static_cast<std::size_t>(table);

        std::vector<Frame> stack;
        const Object* top = nullptr;
        if (auto error = visit(root, 0, &top)) {
            return error;
        }
        if (isContainer(*top)) {
            stack.push_back(Frame{root, top});
            onPath_.insert(root);
        }
        while (!stack.empty()) {
            Frame& frame = stack.back();
            const Object& o = *frame.object;
            if (frame.next == o.count) {
                onPath_.erase(frame.index);
                stack.pop_back();
                continue;
            }
            const std::uint64_t i = frame.next++;
            std::uint64_t valueRef = reference(o, i);
            if (o.kind == Kind::Dictionary) {
                // Keys first, then the values, each `count` references long.
                const Object* key = nullptr;
                if (auto error = object(valueRef, &key)) {
                    return error;
                }
                if (key->kind != Kind::String) {
                    return "a dictionary key that is not a string";
                }
                if (auto error = count(*key)) {
                    return error;
                }
                valueRef = reference(o, o.count + i);
            }
            const Object* value = nullptr;
            if (auto error = visit(valueRef, stack.size(), &value)) {
                return error;
            }
            if (isContainer(*value)) {
                stack.push_back(Frame{valueRef, value}); // `frame` is not used past here
                onPath_.insert(valueRef);
            }
        }
        return std::nullopt;
    }

private:
    static constexpr std::size_t kHeader = 8;
    static constexpr std::size_t kTrailer = 32;

    enum class Kind { Scalar, Data, String, Array, Dictionary };
    struct Object {
        Kind kind = Kind::Scalar;
        std::uint64_t count = 0; // elements, entries, or bytes of a string or data
        std::size_t width = 0;   // bytes per element (per reference for containers)
        std::size_t body = 0;    // where the bytes or references start
    };
    struct Frame {
        std::uint64_t index;
        const Object* object; // stays put: the map's nodes never move
        std::uint64_t next = 0;
    };

    static bool isContainer(const Object& o) {
        return o.kind == Kind::Array || o.kind == Kind::Dictionary;
    }

    std::uint8_t byte(std::size_t at) const { return static_cast<std::uint8_t>(b_[at]); }

    // Big-endian unsigned of n <= 8 bytes; the caller has checked the range.
    std::uint64_t be(std::size_t at, std::size_t n) const {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            v = (v << 8) | byte(at + i);
        }
        return v;
    }

    std::uint64_t reference(const Object& o, std::uint64_t i) const {
        return be(o.body + static_cast<std::size_t>(i) * refSize_, refSize_);
    }

    // Whether n bytes from `at` lie in the object area.
    bool fits(std::size_t at, std::uint64_t n) const { return at <= table_ && n <= table_ - at; }

    // Counts one more value as the library would build it.
    std::optional<std::string> count(const Object& o) {
        if (++values_ > limits_.maxValues) {
            return tooManyValues(limits_);
        }
        if (o.kind == Kind::Data || o.kind == Kind::String) {
            textBytes_ += o.count * o.width;
            if (textBytes_ > limits_.maxTextBytes) {
                return "more than " + std::to_string(limits_.maxTextBytes) +
                       " bytes of strings and data";
            }
        }
        return std::nullopt;
    }

    std::optional<std::string> visit(std::uint64_t index, std::size_t depth, const Object** out) {
        if (onPath_.count(index)) {
            return "an object that contains itself";
        }
        if (depth > static_cast<std::size_t>(limits_.maxDepth)) {
            return nestingTooDeep(limits_);
        }
        if (auto error = object(index, out)) {
            return error;
        }
        return count(**out);
    }

    std::optional<std::string> object(std::uint64_t index, const Object** out) {
        if (auto it = checked_.find(index); it != checked_.end()) {
            *out = &it->second;
            return std::nullopt;
        }
        if (index >= objects_) {
            return "a reference past the last object";
        }
        const std::uint64_t at =
            be(table_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
        if (at < kHeader || at >= table_) {
            return "an object offset outside the object area";
        }
        std::size_t p = static_cast<std::size_t>(at);
        const unsigned type = byte(p) >> 4;
        const unsigned info = byte(p) & 0x0F;
        ++p;
        const std::string damaged = "a damaged object at offset " + std::to_string(at);
        Object o;
        switch (type) {
        case 0x0: // false, true
            if (info != 0x8 && info != 0x9) {
                return damaged;
            }
            break;
        case 0x1: // integer of 1, 2, 4, 8 or 16 bytes
            if (info > 4 || !fits(p, 1u << info)) {
                return damaged;
            }
            // The library keeps the low 64 bits of a 16-byte integer. That
            // is the value itself only when the high half is zero (an
            // unsigned value past the signed range) or extends the sign.
            if (info == 4) {
                const std::uint64_t high = be(p, 8);
                const bool negative = (byte(p + 8) & 0x80) != 0;
                if (high != 0 && !(high == ~std::uint64_t{0} && negative)) {
                    return "an integer wider than 64 bits";
                }
            }
            break;
        case 0x2: // real of 4 or 8 bytes
            if ((info != 2 && info != 3) || !fits(p, 1u << info)) {
                return damaged;
            }
            break;
        case 0x3: // date
            if (info != 3 || !fits(p, 8)) {
                return damaged;
            }
            break;
        case 0x8: // uid
            if (!fits(p, info + 1u)) {
                return damaged;
            }
            break;
        case 0x4:   // data
        case 0x5:   // string, one byte a character
        case 0x6:   // string, UTF-16
        case 0xA:   // array
        case 0xC:   // set, read as an array
        case 0xD: { // dictionary
            std::uint64_t n = info;
            if (info == 0x0F) { // the count follows as an integer object
                if (!fits(p, 1) || (byte(p) >> 4) != 0x1 || (byte(p) & 0x0F) > 3) {
                    return damaged;
                }
                const std::size_t size = std::size_t{1} << (byte(p) & 0x0F);
                ++p;
                if (!fits(p, size)) {
                    return damaged;
                }
                n = be(p, size);
                p += size;
            }
            o.count = n;
            o.body = p;
            o.width = type == 0x6 ? 2 : type == 0xD ? 2 * refSize_ : type >= 0xA ? refSize_ : 1;
            o.kind = type == 0x4   ? Kind::Data
                     : type == 0x5 ? Kind::String
                     : type == 0x6 ? Kind::String
                     : type == 0xD ? Kind::Dictionary
                                   : Kind::Array;
            if (n > (table_ - p) / o.width) {
                return damaged;
            }
            if (type == 0x5 && std::memchr(b_.data() + p, 0, static_cast<std::size_t>(n))) {
                return nulCharacter();
            }
            if (type == 0x6) {
                if (auto error = checkUtf16(p, n)) {
                    return error;
                }
            }
            if (type == 0xD) {
                o.width = refSize_; // the keys, then the values
            }
            break;
        }
        default:
            return damaged;
        }
        *out = &checked_.emplace(index, o).first->second;
        return std::nullopt;
    }

    // The library drops unpaired surrogates without a word, so the string
    // would read as other text than was written.
    std::optional<std::string> checkUtf16(std::size_t at, std::uint64_t n) const {
        bool wantLow = false;
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t unit = be(at + static_cast<std::size_t>(i) * 2, 2);
            const bool high = unit >= 0xD800 && unit <= 0xDBFF;
            const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
            if (unit == 0) {
                return nulCharacter();
            }
            if (wantLow != low) {
                return unpairedSurrogate();
            }
            wantLow = high;
        }
        if (wantLow) {
            return unpairedSurrogate();
        }
        return std::nullopt;
    }

    std::string_view b_;
    Limits limits_;
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t objects_ = 0;
    std::size_t table_ = 0;
    std::unordered_map<std::uint64_t, Object> checked_;
    std::unordered_set<std::uint64_t> onPath_;
    std::size_t values_ = 0;
    std::uint64_t textBytes_ = 0;
};

// XML lists: tokenised the way the library reads them, which is not quite
// XML. It skips double-quoted text inside processing instructions, document
// types and tags, knows comments and (inside values) character data, and
// stops reading once the top value is complete. What it would reject, and
// whatever this scan does not follow exactly, is refused here; everything
// else is counted, so the library never nests deeper than counted.
class XmlCheck {
public:
    XmlCheck(std::string_view text, const Limits& limits) : s_(text), limits_(limits) {}

    std::optional<std::string> run() {
        enum class Open { Plist, Dictionary, Array };
        std::vector<Open> path;
        int parentDepth = -1; // of the value new values go into
        bool haveTop = false;
        std::size_t values = 0;
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size()) {
                break;
            }
            if (s_[pos_] != '<' || ++pos_ >= s_.size()) {
                return notAPropertyList();
            }
            if (s_[pos_] == '?') {
                if (!skipPast(find(pos_, "?>", true), 2)) {
                    return notAPropertyList();
                }
                continue;
            }
            if (s_[pos_] == '!') {
                if (!skipDeclaration()) {
                    return notAPropertyList();
                }
                continue;
            }

            const std::size_t start = pos_;
            const std::size_t nameEnd = findAny(start, " \r\n\t<>", false);
            if (nameEnd == npos) {
                return notAPropertyList();
            }
            const std::size_t close = s_[nameEnd] == '>' ? nameEnd : findAny(nameEnd, "<>", true);
            if (close == npos || s_[close] == '<') {
                return notAPropertyList();
            }
            std::string_view name = s_.substr(start, nameEnd - start);
            const bool empty = s_[close - 1] == '/';
            if (empty && close - start - 1 < name.size()) {
                name = name.substr(0, close - start - 1); // "<array/>"
            }
            pos_ = close + 1;

            if (name == "plist") {
                if (empty) {
                    return notAPropertyList();
                }
                path.push_back(Open::Plist);
                continue;
            }
            if (name == "/plist") {
                if (path.empty() || path.back() != Open::Plist) {
                    return notAPropertyList();
                }
                path.pop_back();
                continue;
            }
            if (name == "/dict" || name == "/array") {
                const Open kind = name == "/dict" ? Open::Dictionary : Open::Array;
                if (path.empty() || path.back() != kind) {
                    return notAPropertyList();
                }
                path.pop_back();
                if (--parentDepth < 0) {
                    break; // the top value is complete: the library reads no further
                }
                continue;
            }
            const bool container = name == "dict" || name == "array";
            if (!container && !isScalar(name)) {
                return notAPropertyList();
            }
            if (++values > limits_.maxValues) {
                return tooManyValues(limits_);
            }
            if (!container) {
                const bool decoded = name == "integer" || name == "data";
                std::string text;
                bool commented = false;
                if (!empty &&
                    !skipText(name, decoded ? &text : nullptr, decoded ? &commented : nullptr)) {
                    return notAPropertyList();
                }
                if (auto error = checkValueText(name, text, commented)) {
                    return error;
                }
                if (!haveTop) {
                    break; // a lone scalar is the whole list
                }
                continue;
            }
            const int depth = haveTop ? parentDepth + 1 : 0;
            if (depth > limits_.maxDepth) {
                return nestingTooDeep(limits_);
            }
            if (!haveTop) {
                haveTop = true;
                parentDepth = 0; // even an empty top value takes what follows
            }
            if (!empty) {
                path.push_back(name == "dict" ? Open::Dictionary : Open::Array);
                parentDepth = depth;
            }
        }
        // No XML holds U+0000; the library would cut keys short at one.
        if (std::memchr(s_.data(), 0, pos_ < s_.size() ? pos_ : s_.size())) {
            return nulCharacter();
        }
        return std::nullopt;
    }

private:
    static bool isScalar(std::string_view name) {
        for (const char* scalar :
             {"key", "string", "integer", "real", "true", "false", "data", "date"}) {
            if (name == scalar) {
                return true;
            }
        }
        return false;
    }

    bool startsWith(std::size_t at, std::string_view text) const {
        return at <= s_.size() && s_.substr(at, text.size()) == text;
    }

    // First `needle` at or after `from`, outside double quotes when asked.
    std::size_t find(std::size_t from, std::string_view needle, bool skipQuoted) const {
        if (!skipQuoted) {
            return s_.find(needle, from);
        }
        for (std::size_t i = from; i < s_.size();) {
            if (startsWith(i, needle)) {
                return i;
            }
            if (s_[i] == '"') {
                const std::size_t closing = s_.find('"', i + 1);
                if (closing == npos) {
                    return npos;
                }
                i = closing + 1;
                continue;
            }
            ++i;
        }
        return npos;
    }

    // First of `chars` at or after `from`, outside double quotes when asked.
    std::size_t findAny(std::size_t from, std::string_view chars, bool skipQuoted) const {
        for (std::size_t i = from; i < s_.size();) {
            if (skipQuoted && s_[i] == '"') {
                const std::size_t closing = s_.find('"', i + 1);
                if (closing == npos) {
                    return npos;
                }
                i = closing + 1;
                continue;
            }
            if (chars.find(s_[i]) != npos) {
                return i;
            }
            ++i;
        }
        return npos;
    }

    bool skipPast(std::size_t found, std::size_t length) {
        if (found == npos) {
            return false;
        }
        pos_ = found + length;
        return true;
    }

    void skipSpace() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
            ++pos_;
        }
    }

    // A comment or a document type, at "!".
    bool skipDeclaration() {
        if (startsWith(pos_, "!--")) {
            return skipPast(find(pos_ + 3, "-->", false), 3);
        }
        if (!startsWith(pos_, "!DOCTYPE")) {
            return false;
        }
        const std::size_t end = findAny(pos_ + 8, "[>", true);
        if (end == npos) {
            return false;
        }
        if (s_[end] == '>') {
            pos_ = end + 1;
            return true;
        }
        return skipPast(find(end, "]>", true), 2); // with a subset of its own
    }

    // A scalar's text up to and including its closing tag, comments and
    // character data included; no other markup is allowed inside. With
    // `text`, gathers the text the library reads (character data included)
    // and whether a comment was in it.
    bool skipText(std::string_view name, std::string* text, bool* commented) {
        for (;;) {
            const std::size_t lt = s_.find('<', pos_);
            if (lt == npos || lt + 1 >= s_.size()) {
                return false;
            }
            if (text) {
                text->append(s_.substr(pos_, lt - pos_));
            }
            pos_ = lt + 1;
            if (s_[pos_] == '/') {
                ++pos_;
                break;
            }
            if (startsWith(pos_, "!--")) {
                if (!skipPast(find(pos_ + 3, "-->", false), 3)) {
                    return false;
                }
                if (commented) {
                    *commented = true;
                }
            } else if (startsWith(pos_, "![CDATA[")) {
                const std::size_t end = find(pos_ + 8, "]]>", false);
                if (end != npos && text) {
                    text->append(s_.substr(pos_ + 8, end - pos_ - 8));
                }
                if (!skipPast(end, 3)) {
                    return false;
                }
            } else {
                return false;
            }
        }
        if (!startsWith(pos_, name)) {
            return false;
        }
        pos_ += name.size();
        skipSpace();
        if (pos_ >= s_.size() || s_[pos_] != '>') {
            return false;
        }
        ++pos_;
        return true;
    }

    // The library turns any text into some integer or some bytes, silently:
    // what would not read back as written is refused instead.
    static std::optional<std::string> checkValueText(std::string_view name, std::string_view text,
                                                     bool commented) {
        if (name == "integer" && !isInteger(text)) {
            return "an <integer> that is not a number from -2^63 to 2^64-1";
        }
        // A comment inside <data> makes the library drop the bytes.
        if (name == "data" && (commented || !isBase64(text))) {
            return "a <data> value that is not valid base64";
        }
        return std::nullopt;
    }

    static bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    // Decimal, or hexadecimal after "0x", with an optional sign, in the range
    // of a signed or an unsigned 64-bit integer. A leading zero is refused:
    // the library reads "010" as octal 8, everyone else as 10.
    static bool isInteger(std::string_view text) {
        while (!text.empty() && isXmlSpace(text.front())) {
            text.remove_prefix(1);
        }
        while (!text.empty() && isXmlSpace(text.back())) {
            text.remove_suffix(1);
        }
        const bool negative = !text.empty() && text.front() == '-';
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            text.remove_prefix(1);
        }
        unsigned base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            text.remove_prefix(2);
        } else if (text.size() > 1 && text[0] == '0') {
            return false;
        }
        if (text.empty()) {
            return false;
        }
        const std::uint64_t limit =
            negative ? std::uint64_t{1} << 63 : ~std::uint64_t{0}; // magnitudes
        std::uint64_t value = 0;
        for (char c : text) {
            unsigned digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<unsigned>(c - '0');
            } else if (base == 16 && c >= 'a' && c <= 'f') {
                digit = static_cast<unsigned>(c - 'a' + 10);
            } else if (base == 16 && c >= 'A' && c <= 'F') {
                digit = static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
            if (value > (limit - digit) / base) {
                return false;
            }
            value = value * base + digit;
        }
        return true;
    }

    // Groups of four from the base64 alphabet, with "=" padding only at the
    // very end; XML white space between them is ignored.
    static bool isBase64(std::string_view text) {
        std::size_t count = 0;
        std::size_t padding = 0;
        for (char c : text) {
            if (isXmlSpace(c)) {
                continue;
            }
            ++count;
            if (c == '=') {
                ++padding;
                continue;
            }
            const bool inAlphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                    (c >= '0' && c <= '9') || c == '+' || c == '/';
            if (!inAlphabet || padding > 0) {
                return false;
            }
        }
        return count % 4 == 0 && padding <= 2;
    }

    std::string_view s_;
    Limits limits_;
    std::size_t pos_ = 0;
};

} // namespace

std::optional<std::string> check(std::string_view bytes, const Limits& limits) {
    if (bytes.substr(0, 8) == "bplist00") {
        return BinaryCheck(bytes, limits).run();
    }
    return XmlCheck(bytes, limits).run();
}

} // namespace zed::plistguard
