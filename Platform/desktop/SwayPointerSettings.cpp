#include "SwayPointerSettings.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <vector>

namespace zed {

namespace {

// Long enough for a busy compositor, short enough that the agent is never
// stuck behind one that hangs.
constexpr int kTimeoutSeconds = 2;
// sway's replies are small; anything bigger is not sway.
constexpr std::uint32_t kMaxReply = 16u << 20;
constexpr std::size_t kMagicLength = sizeof(SwayPointerControl::kMagic) - 1;
constexpr std::size_t kHeaderLength = kMagicLength + 8;

// Just enough JSON for sway's replies: objects, arrays, strings, numbers,
// true, false and null.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* member(const std::string& name) const {
        auto it = members.find(name);
        return kind == Kind::Object && it != members.end() ? &it->second : nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s_(text) {}
    std::optional<Json> document() {
        Json j;
        if (!value(j, 0)) {
            return std::nullopt;
        }
        space();
        return i_ == s_.size() ? std::optional<Json>(std::move(j)) : std::nullopt;
    }

private:
    static constexpr int kMaxDepth = 64;

    void space() {
        while (i_ < s_.size() && std::strchr(" \t\r\n", s_[i_])) {
            ++i_;
        }
    }
    bool literal(const char* word) {
        const std::size_t n = std::strlen(word);
        if (s_.compare(i_, n, word) != 0) {
            return false;
        }
        i_ += n;
        return true;
    }
    bool string(std::string& out) {
        if (i_ >= s_.size() || s_[i_] != '"') {
            return false;
        }
        ++i_;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c == '\\') {
                if (i_ >= s_.size()) {
                    return false;
                }
                c = s_[i_++];
                switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'u': // kept as text: nothing read here needs it decoded
                    out += "\\u";
                    continue;
                default:
                    break; // \" \\ \/ and the rest stand for themselves
                }
            }
            out += c;
        }
        if (i_ >= s_.size()) {
            return false;
        }
        ++i_;
        return true;
    }
    bool value(Json& j, int depth) {
        if (depth > kMaxDepth) {
            return false;
        }
        space();
        if (i_ >= s_.size()) {
            return false;
        }
        const char c = s_[i_];
        if (c == '{') {
            ++i_;
            j.kind = Json::Kind::Object;
            space();
            if (i_ < s_.size() && s_[i_] == '}') {
                ++i_;
                return true;
            }
            for (;;) {
                space();
                std::string name;
                Json member;
                if (!string(name)) {
                    return false;
                }
                space();
                if (i_ >= s_.size() || s_[i_++] != ':' || !value(member, depth + 1)) {
                    return false;
                }
                j.members[name] = std::move(member);
                space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                return i_ < s_.size() && s_[i_++] == '}';
            }
        }
        if (c == '[') {
            ++i_;
            j.kind = Json::Kind::Array;
            space();
            if (i_ < s_.size() && s_[i_] == ']') {
                ++i_;
                return true;
            }
            for (;;) {
                Json item;
                if (!value(item, depth + 1)) {
                    return false;
                }
                j.items.push_back(std::move(item));
                space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                return i_ < s_.size() && s_[i_++] == ']';
            }
        }
        if (c == '"') {
            j.kind = Json::Kind::String;
            return string(j.string);
        }
        if (literal("true") || literal("false")) {
            j.kind = Json::Kind::Bool;
            j.boolean = s_[i_ - 1] == 'e' && s_[i_ - 2] == 'u'; // "true", not "false"
            return true;
        }
        if (literal("null")) {
            return true;
        }
        j.kind = Json::Kind::Number;
        const char* begin = s_.data() + i_;
        const auto [end, ec] = std::from_chars(begin, s_.data() + s_.size(), j.number);
        if (ec != std::errc() || end == begin) {
            return false;
        }
        i_ += static_cast<std::size_t>(end - begin);
        return true;
    }

    const std::string& s_;
    std::size_t i_ = 0;
};

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

UniqueFd connectTo(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return UniqueFd();
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        return fd;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        return UniqueFd();
    }
    timeval timeout{kTimeoutSeconds, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    return fd;
}

std::string number(double v) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof(text), v);
    return ec == std::errc() ? std::string(text, end) : "0";
}

} // namespace

SwayPointerControl::SwayPointerControl(std::string socketPath)
    : socketPath_(std::move(socketPath)) {
    if (socketPath_.empty()) {
        const char* sock = std::getenv("SWAYSOCK");
        socketPath_ = sock ? sock : "";
    }
}

SwayPointerControl::~SwayPointerControl() = default;

bool SwayPointerControl::answers(const std::string& socketPath) {
    return static_cast<bool>(connectTo(socketPath));
}

std::optional<std::string> SwayPointerControl::exchangeOnce(std::uint32_t type,
                                                            const std::string& payload) {
    if (!fd_) {
        fd_ = connectTo(socketPath_);
        if (!fd_) {
            return std::nullopt;
        }
    }
    std::string message(kMagic, kMagicLength);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof(length));
    message.append(reinterpret_cast<const char*>(&type), sizeof(type));
    message += payload;
    char header[kHeaderLength];
    std::uint32_t replyLength = 0, replyType = 0;
    if (writeAll(fd_.get(), message.data(), message.size()) &&
        readAll(fd_.get(), header, sizeof(header)) &&
        std::memcmp(header, kMagic, kMagicLength) == 0) {
        std::memcpy(&replyLength, header + kMagicLength, 4);
        std::memcpy(&replyType, header + kMagicLength + 4, 4);
        std::string reply(replyLength <= kMaxReply ? replyLength : 0, '\0');
        if (replyLength <= kMaxReply && replyType == type &&
            readAll(fd_.get(), reply.data(), reply.size())) {
            return reply;
        }
    }
    // A connection out of step with its replies is of no further use.
    fd_.reset();
    return std::nullopt;
}

std::optional<std::string> SwayPointerControl::exchange(std::uint32_t type,
                                                        const std::string& payload) {
    // A connection kept from before sway restarted fails once; a fresh one
    // is tried once, no more.
    const bool hadConnection = static_cast<bool>(fd_);
    auto reply = exchangeOnce(type, payload);
    if (!reply && hadConnection) {
        reply = exchangeOnce(type, payload);
    }
    if (!reply) {
        report_.say("its IPC socket (" +
                    (socketPath_.empty() ? "SWAYSOCK is not set" : socketPath_) +
                    ") does not answer, so the pointer settings are left as they are");
    }
    return reply;
}

IOReturn SwayPointerControl::command(const std::string& text) {
    const auto reply = exchange(kRunCommand, text);
    if (!reply) {
        return kIOReturnNotResponding;
    }
    const auto json = JsonReader(*reply).document();
    if (!json || json->kind != Json::Kind::Array || json->items.empty()) {
        report_.say("an answer that is not sway's to \"" + text + "\"");
        return kIOReturnIPCError;
    }
    for (const Json& result : json->items) {
        const Json* success = result.member("success");
        if (!success || success->kind != Json::Kind::Bool || !success->boolean) {
            const Json* error = result.member("error");
            report_.say("\"" + text + "\" was refused (" +
                        (error && error->kind == Json::Kind::String ? error->string
                                                                    : std::string("no reason")) +
                        "), so it is left as it is");
            return kIOReturnNotPermitted;
        }
    }
    return kIOReturnSuccess;
}

IOReturn SwayPointerControl::setButtonsSwapped(bool swapped) {
    return command(std::string("input type:pointer left_handed ") +
                   (swapped ? "enabled" : "disabled"));
}

IOReturn SwayPointerControl::setAcceleration(double acceleration) {
    if (accelerationIsOff(acceleration)) {
        return command("input type:pointer accel_profile flat");
    }
    const IOReturn speed = command("input type:pointer pointer_accel " +
                                   number(libinputSpeedFromAcceleration(acceleration)));
    const IOReturn profile = command("input type:pointer accel_profile adaptive");
    return speed != kIOReturnSuccess ? speed : profile;
}

IOReturn SwayPointerControl::getAcceleration(double* acceleration) {
    const auto reply = exchange(kGetInputs, "");
    if (!reply) {
        return kIOReturnNotResponding;
    }
    const auto json = JsonReader(*reply).document();
    if (!json || json->kind != Json::Kind::Array) {
        report_.say("an answer that is not sway's to the list of inputs");
        return kIOReturnIPCError;
    }
    for (const Json& input : json->items) {
        const Json* type = input.member("type");
        const Json* libinput = input.member("libinput");
        const Json* speed = libinput ? libinput->member("accel_speed") : nullptr;
        if (type && type->kind == Json::Kind::String && type->string == "pointer" && speed &&
            speed->kind == Json::Kind::Number) {
            if (acceleration) {
                *acceleration = accelerationFromLibinputSpeed(speed->number);
            }
            return kIOReturnSuccess;
        }
    }
    return kIOReturnNoDevice; // no mouse yet: the caller keeps its own value
}

} // namespace zed
