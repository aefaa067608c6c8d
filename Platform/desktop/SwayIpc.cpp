#include "SwayIpc.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace zed::sway {

namespace {

constexpr const char kMagic[] = "i3-ipc"; // without its terminating zero
constexpr std::size_t kMagicLength = sizeof(kMagic) - 1;
constexpr std::size_t kHeaderLength = kMagicLength + 8;
// Long enough for a busy compositor, short enough that the agent is never
// stuck behind one that hangs.
constexpr int kTimeoutSeconds = 2;
// sway's messages are small; anything bigger is not sway.
constexpr std::uint32_t kMaxPayload = 16u << 20;

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

// The whole buffer through `io` (send or recv), across interruptions; false
// at an error or the end of the stream.
template <typename Io, typename Byte> bool whole(Io io, Byte* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = io(data, size);
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

bool writeAll(int fd, const char* data, std::size_t size) {
    return whole([fd](const char* d, std::size_t n) { return ::send(fd, d, n, MSG_NOSIGNAL); },
                 data, size);
}

bool readAll(int fd, char* data, std::size_t size) {
    return whole([fd](char* d, std::size_t n) { return ::recv(fd, d, n, 0); }, data, size);
}

} // namespace

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

std::optional<Json> parseJson(const std::string& text) {
    return JsonReader(text).document();
}

std::string frame(std::uint32_t type, const std::string& payload) {
    std::string message(kMagic, kMagicLength);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof(length));
    message.append(reinterpret_cast<const char*>(&type), sizeof(type));
    return message + payload;
}

std::optional<std::pair<std::uint32_t, std::string>> takeMessage(std::string& buffer,
                                                                 bool* broken) {
    *broken = false;
    if (buffer.size() < kHeaderLength) {
        return std::nullopt;
    }
    std::uint32_t length = 0, type = 0;
    std::memcpy(&length, buffer.data() + kMagicLength, 4);
    std::memcpy(&type, buffer.data() + kMagicLength + 4, 4);
    if (buffer.compare(0, kMagicLength, kMagic) != 0 || length > kMaxPayload) {
        *broken = true;
        return std::nullopt;
    }
    if (buffer.size() < kHeaderLength + length) {
        return std::nullopt;
    }
    std::pair<std::uint32_t, std::string> message{type, buffer.substr(kHeaderLength, length)};
    buffer.erase(0, kHeaderLength + length);
    return message;
}

std::optional<std::string> request(int fd, std::uint32_t type, const std::string& payload) {
    const std::string message = frame(type, payload);
    std::string buffer(kHeaderLength, '\0');
    if (!writeAll(fd, message.data(), message.size()) ||
        !readAll(fd, buffer.data(), kHeaderLength)) {
        return std::nullopt;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, buffer.data() + kMagicLength, 4);
    if (length > kMaxPayload) {
        return std::nullopt;
    }
    buffer.resize(kHeaderLength + length);
    if (!readAll(fd, buffer.data() + kHeaderLength, length)) {
        return std::nullopt;
    }
    bool broken = false;
    auto reply = takeMessage(buffer, &broken);
    return reply && reply->first == type ? std::optional(std::move(reply->second)) : std::nullopt;
}

} // namespace zed::sway
