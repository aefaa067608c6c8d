#include "DBusValue.h"

#include "Platform/core/Log.h"

#include <cstring>
#include <string_view>

namespace zed {

namespace {

// What a read may still take, and where it says why it stopped.
struct Budget {
    ReadLimits limits;
    std::string* error;
    std::size_t values = 0;
    std::size_t bytes = 0;
};

std::optional<Value> readVariantAt(sd_bus_message* m, int depth, Budget& b);
std::optional<Dictionary> readDictionaryAt(sd_bus_message* m, int depth, Budget& b);

std::nullopt_t fail(std::string* error, std::string why) {
    if (error && error->empty()) {
        *error = std::move(why);
    }
    return std::nullopt;
}

std::nullopt_t failErrno(std::string* error, const char* what, int r) {
    return fail(error, std::string(what) + ": " + std::strerror(-r));
}

int appendVariantAt(sd_bus_message* m, const Value& v);

int appendDictionaryBody(sd_bus_message* m, const Dictionary& d) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (auto it = d.begin(); r >= 0 && it != d.end(); ++it) {
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) {
            r = sd_bus_message_append_basic(m, 's', it->first.c_str());
        }
        if (r >= 0) {
            r = appendVariantAt(m, it->second);
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

int appendVariantAt(sd_bus_message* m, const Value& v) {
    int r = 0;
    switch (v.type()) {
    case Value::Type::Int32:
        return sd_bus_message_append(m, "v", "i", *v.toInt32());
    case Value::Type::Int64:
        return sd_bus_message_append(m, "v", "x", *v.toInt64());
    case Value::Type::Double:
        return sd_bus_message_append(m, "v", "d", *v.toDouble());
    case Value::Type::Bool:
        return sd_bus_message_append(m, "v", "b", *v.toBool() ? 1 : 0);
    case Value::Type::String:
        return sd_bus_message_append(m, "v", "s", v.asString()->c_str());
    case Value::Type::Data:
        r = sd_bus_message_open_container(m, 'v', "ay");
        if (r >= 0) {
            r = sd_bus_message_append_array(m, 'y', v.asData()->data(), v.asData()->size());
        }
        return r < 0 ? r : sd_bus_message_close_container(m);
    case Value::Type::Array:
        r = sd_bus_message_open_container(m, 'v', "av");
        if (r >= 0) {
            r = sd_bus_message_open_container(m, 'a', "v");
        }
        for (auto it = v.asArray()->begin(); r >= 0 && it != v.asArray()->end(); ++it) {
            r = appendVariantAt(m, *it);
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
        return r < 0 ? r : sd_bus_message_close_container(m);
    case Value::Type::Dictionary:
        r = sd_bus_message_open_container(m, 'v', "a{sv}");
        if (r >= 0) {
            r = appendDictionaryBody(m, *v.asDictionary());
        }
        return r < 0 ? r : sd_bus_message_close_container(m);
    }
    return -EINVAL;
}

// Counts `n` bytes of a string, key or byte array against the bounds;
// false (with the reason) once one is crossed.
bool take(Budget& b, std::size_t n, const char* what) {
    if (n > b.limits.elementBytes) {
        fail(b.error, std::string("a ") + what + " of " + std::to_string(n) + " bytes, more than " +
                          std::to_string(b.limits.elementBytes));
        return false;
    }
    b.bytes += n;
    if (b.bytes > b.limits.totalBytes) {
        fail(b.error, "larger than " + std::to_string(b.limits.totalBytes) + " bytes");
        return false;
    }
    return true;
}

// One more value (its rough size in memory, as footprint() counts it).
bool takeValue(Budget& b) {
    if (++b.values > b.limits.values) {
        fail(b.error, "more than " + std::to_string(b.limits.values) + " values");
        return false;
    }
    return take(b, sizeof(Value), "value");
}

std::optional<Value> readContents(sd_bus_message* m, const std::string& sig, int depth, Budget& b) {
    std::string* error = b.error;
    int r = 0;
    if (sig == "i") {
        std::int32_t i = 0;
        r = sd_bus_message_read_basic(m, 'i', &i);
        return r < 0 ? failErrno(error, "int32", r) : std::optional<Value>(Value(i));
    }
    if (sig == "x") {
        std::int64_t x = 0;
        r = sd_bus_message_read_basic(m, 'x', &x);
        return r < 0 ? failErrno(error, "int64", r) : std::optional<Value>(Value(x));
    }
    if (sig == "d") {
        double d = 0;
        r = sd_bus_message_read_basic(m, 'd', &d);
        return r < 0 ? failErrno(error, "double", r) : std::optional<Value>(Value(d));
    }
    if (sig == "b") {
        int b = 0; // sd-bus reads a boolean into an int
        r = sd_bus_message_read_basic(m, 'b', &b);
        return r < 0 ? failErrno(error, "bool", r) : std::optional<Value>(Value(b != 0));
    }
    if (sig == "s") {
        const char* s = nullptr;
        r = sd_bus_message_read_basic(m, 's', &s);
        if (r < 0) {
            return failErrno(error, "string", r);
        }
        const std::string_view text = s ? s : "";
        return take(b, text.size(), "string") ? std::optional<Value>(Value(std::string(text)))
                                              : std::nullopt;
    }
    if (sig == "ay") {
        const void* p = nullptr;
        std::size_t n = 0;
        r = sd_bus_message_read_array(m, 'y', &p, &n);
        if (r < 0) {
            return failErrno(error, "data", r);
        }
        if (!take(b, n, "byte array")) {
            return std::nullopt;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(p);
        return Value(n ? Data(bytes, bytes + n) : Data{});
    }
    if (sig == "av") {
        r = sd_bus_message_enter_container(m, 'a', "v");
        if (r < 0) {
            return failErrno(error, "array", r);
        }
        Array items;
        while ((r = sd_bus_message_at_end(m, 0)) == 0) {
            auto item = readVariantAt(m, depth + 1, b);
            if (!item) {
                return std::nullopt;
            }
            items.push_back(std::move(*item));
        }
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) {
            return failErrno(error, "array", r);
        }
        return Value(std::move(items));
    }
    if (sig == "a{sv}") {
        auto d = readDictionaryAt(m, depth + 1, b);
        return d ? std::optional<Value>(Value(std::move(*d))) : std::nullopt;
    }
    return fail(error, "unsupported D-Bus type \"" + sig + "\"");
}

std::optional<Value> readVariantAt(sd_bus_message* m, int depth, Budget& b) {
    std::string* error = b.error;
    if (depth > b.limits.depth) {
        return fail(error, "values nested too deep");
    }
    if (!takeValue(b)) {
        return std::nullopt;
    }
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, &type, &contents);
    if (r <= 0 || type != 'v' || !contents) {
        return fail(error, "expected a variant");
    }
    const std::string sig = contents;
    r = sd_bus_message_enter_container(m, 'v', sig.c_str());
    if (r < 0) {
        return failErrno(error, "variant", r);
    }
    auto v = readContents(m, sig, depth, b);
    if (!v) {
        return std::nullopt;
    }
    r = sd_bus_message_exit_container(m);
    if (r < 0) {
        return failErrno(error, "variant", r);
    }
    return v;
}

std::optional<Dictionary> readDictionaryAt(sd_bus_message* m, int depth, Budget& b) {
    std::string* error = b.error;
    if (depth > b.limits.depth) {
        return fail(error, "values nested too deep");
    }
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r <= 0) {
        return fail(error, "expected a dictionary of type a{sv}");
    }
    Dictionary d;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        r = sd_bus_message_read_basic(m, 's', &key);
        if (r < 0) {
            return failErrno(error, "dictionary key", r);
        }
        std::string k = key ? key : "";
        if (!take(b, k.size(), "key")) {
            return std::nullopt;
        }
        auto v = readVariantAt(m, depth + 1, b);
        if (!v) {
            return fail(error, "under \"" + k + "\"");
        }
        d.insert_or_assign(std::move(k), std::move(*v));
        r = sd_bus_message_exit_container(m);
        if (r < 0) {
            return failErrno(error, "dictionary entry", r);
        }
    }
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) {
        return failErrno(error, "dictionary", r);
    }
    return d;
}

} // namespace

std::string BusError::text(int r) const {
    if (sd_bus_error_is_set(&e_)) {
        return std::string(e_.name ? e_.name : "") + ": " + (e_.message ? e_.message : "");
    }
    return std::strerror(r < 0 ? -r : r);
}

BusPtr openBus(BusKind kind) {
    sd_bus* bus = nullptr;
    int r = kind == BusKind::Session ? sd_bus_open_user(&bus) : sd_bus_open_system(&bus);
    if (r < 0) {
        zed::logErrno(-r, "cannot connect to the %s bus",
                      kind == BusKind::Session ? "session" : "system");
        return nullptr;
    }
    return BusPtr(bus);
}

int appendVariant(sd_bus_message* m, const Value& v) {
    return appendVariantAt(m, v);
}

int appendDictionary(sd_bus_message* m, const Dictionary& d) {
    return appendDictionaryBody(m, d);
}

std::optional<Value> readVariant(sd_bus_message* m, std::string* error) {
    Budget b{ReadLimits{}, error};
    return readVariantAt(m, 0, b);
}

std::optional<Dictionary> readDictionary(sd_bus_message* m, std::string* error) {
    return readDictionaryWithin(m, ReadLimits{}, error);
}

std::optional<Dictionary> readDictionaryWithin(sd_bus_message* m, const ReadLimits& limits,
                                               std::string* error) {
    Budget b{limits, error};
    return readDictionaryAt(m, 0, b);
}

std::string matchRuleQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

} // namespace zed
