// Feeds the D-Bus value reader messages whose signature and body come from the
// fuzzer. They arrive over a real sd-bus connection, whose far end this
// program plays, so sd-bus takes them apart as it would a peer's message.
// The reader must return a value or a reason, never crash; a value it reads
// must read back the same from a message it is appended to.
//
// Input: one byte choosing the reader (bit 0 set: a dictionary a{sv}, else a
// variant), one byte giving the length of the signature, the signature, then
// the body, little-endian. With ZED_FUZZ_TRACE set, what each input read is
// printed.
#include "Platform/core/Log.h"
#include "Platform/core/UniqueFd.h"
#include "Platform/dbus/DBusValue.h"
#include "fuzz/FuzzValues.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void fatal(const std::string& why) {
    zed::log("%s", why.c_str());
    std::abort();
}

// Appends `v` to a new message, then reads it back: the same value must come
// out.
template <typename Read, typename Append, typename T>
void roundTrip(sd_bus* bus, const T& value, Append append, Read read) {
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_signal(bus, &raw, "/", "org.example.Fuzz", "Value") < 0) {
        fatal("cannot make a message");
    }
    const zed::MessagePtr m(raw);
    int r = append(m.get(), value);
    if (r < 0) {
        fatal("a value read from D-Bus cannot be appended again: " + std::to_string(r));
    }
    if (sd_bus_message_seal(m.get(), 1, 0) < 0 || sd_bus_message_rewind(m.get(), 1) < 0) {
        fatal("cannot seal the message");
    }
    std::string error;
    const auto back = read(m.get(), &error);
    if (!back) {
        fatal("an appended value does not read back: " + error);
    }
    if (!zedfuzz::sameValue(zed::Value(*back), zed::Value(value))) {
        fatal("an appended value reads back changed:\n" + zed::Value(value).describe() +
              "\nread back as\n" + zed::Value(*back).describe());
    }
}

struct Delivery {
    sd_bus* bus = nullptr;
    bool dictionary = false;
    bool seen = false;
};

int onMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* delivery = static_cast<Delivery*>(userdata);
    delivery->seen = true;
    try {
        std::string error;
        std::optional<zed::Value> read;
        if (delivery->dictionary) {
            if (auto d = zed::readDictionary(m, &error)) {
                roundTrip(delivery->bus, *d, zed::appendDictionary, zed::readDictionary);
                read = zed::Value(std::move(*d));
            }
        } else if ((read = zed::readVariant(m, &error))) {
            roundTrip(delivery->bus, *read, zed::appendVariant, zed::readVariant);
        }
        if (std::getenv("ZED_FUZZ_TRACE")) { // for checking seeds by hand
            std::fprintf(stderr, "%s\n", read ? read->describe().c_str() : error.c_str());
        }
    } catch (const std::exception& e) {
        fatal(std::string("exception: ") + e.what()); // nothing may leave a C callback
    }
    return 1;
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void align(std::string& out, std::size_t to) {
    while (out.size() % to) {
        out += '\0';
    }
}

// A header field holding a string-like value ('o', 's') or a signature ('g').
void field(std::string& out, char code, char type, const std::string& value) {
    align(out, 8);
    out += code;
    out += '\x01';
    out += type;
    out += '\0';
    if (type == 'g') {
        out += static_cast<char>(value.size());
    } else {
        put32(out, static_cast<std::uint32_t>(value.size()));
    }
    out += value;
    out += '\0';
}

// A signal in the wire format: fixed header, header fields, body.
std::string wireMessage(std::uint32_t serial, const std::string& signature,
                        const std::string& body) {
    std::string fields;
    field(fields, 1, 'o', "/");
    field(fields, 2, 's', "org.example.Fuzz");
    field(fields, 3, 's', "Value");
    field(fields, 8, 'g', signature);
    std::string out = "l";
    out += '\x04'; // a signal: nobody replies to it
    out += '\0';   // no flags
    out += '\x01'; // protocol version
    put32(out, static_cast<std::uint32_t>(body.size()));
    put32(out, serial);
    put32(out, static_cast<std::uint32_t>(fields.size()));
    out += fields; // the fields begin at offset 16, a multiple of 8 as their layout assumed
    align(out, 8);
    return out + body;
}

// sd-bus on one end of a socket pair, this program on the other.
class Connection {
public:
    bool open() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            return false;
        }
        peer_.reset(fds[1]);
        sd_bus* raw = nullptr;
        if (sd_bus_new(&raw) < 0) {
            ::close(fds[0]);
            return false;
        }
        bus_.reset(raw);
        if (sd_bus_set_fd(raw, fds[0], fds[0]) < 0 || sd_bus_negotiate_fds(raw, 0) < 0 ||
            sd_bus_start(raw) < 0) {
            return false;
        }
        // sd-bus has sent its whole authentication ("AUTH EXTERNAL", an empty
        // "DATA", "BEGIN"); ask for the data it already sent, then accept.
        const std::string ok = "DATA\r\nOK 0123456789abcdef0123456789abcdef\r\n";
        if (::write(peer_.get(), ok.data(), ok.size()) != static_cast<ssize_t>(ok.size())) {
            return false;
        }
        for (int i = 0; i < 100 && sd_bus_is_ready(raw) <= 0; ++i) {
            if (sd_bus_process(raw, nullptr) < 0 || sd_bus_wait(raw, 100000) < 0) {
                return false;
            }
        }
        drain();
        return sd_bus_is_ready(raw) > 0 &&
               sd_bus_add_filter(raw, nullptr, onMessage, &delivery_) >= 0;
    }

    // False when the connection broke and must be opened again.
    bool deliver(const std::string& message, bool dictionary) {
        delivery_ = Delivery{bus_.get(), dictionary, false};
        std::size_t done = 0;
        while (done < message.size()) {
            const ssize_t n = ::write(peer_.get(), message.data() + done, message.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        for (int i = 0; i < 64 && !delivery_.seen; ++i) {
            const int r = sd_bus_process(bus_.get(), nullptr);
            if (r < 0) {
                return false;
            }
            if (r == 0) {
                break; // dropped as malformed, or not all there
            }
        }
        drain();
        return true;
    }

private:
    // Whatever sd-bus writes to its peer is not looked at.
    void drain() {
        char buf[4096];
        while (::recv(peer_.get(), buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
    }

    zed::UniqueFd peer_;
    zed::BusPtr bus_;
    Delivery delivery_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::unique_ptr<Connection> connection;
    static std::uint32_t serial = 0;
    if (size < 2 || static_cast<std::size_t>(data[1]) > size - 2) {
        return 0;
    }
    const bool dictionary = data[0] & 1;
    const std::string signature(reinterpret_cast<const char*>(data) + 2, data[1]);
    const std::string body(reinterpret_cast<const char*>(data) + 2 + data[1], size - 2 - data[1]);
    if (!connection) {
        connection = std::make_unique<Connection>();
        if (!connection->open()) {
            fatal("cannot set up an sd-bus connection over a socket pair");
        }
    }
    if (++serial == 0) {
        serial = 1;
    }
    if (!connection->deliver(wireMessage(serial, signature, body), dictionary)) {
        connection.reset(); // opened afresh for the next input
    }
    return 0;
}
