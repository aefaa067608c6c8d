#include "EvdevReader.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zed::test {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::optional<unsigned long> hexFile(const fs::path& path) {
    const std::string text = firstLine(path);
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0') {
        return std::nullopt;
    }
    return value;
}

bool idMatches(const fs::path& device, const char* file, const std::optional<std::uint16_t>& want) {
    return !want || hexFile(device / "id" / file) == want;
}

// The number of an "inputN" folder; input devices are numbered in order of creation.
long inputNumber(const fs::path& device) {
    std::error_code ec;
    const std::string base = fs::canonical(device, ec).filename().string();
    return ec || base.rfind("input", 0) != 0 ? -1 : std::strtol(base.c_str() + 5, nullptr, 10);
}

constexpr std::size_t bitsToLongs(std::size_t bits) {
    return (bits + CHAR_BIT * sizeof(long) - 1) / (CHAR_BIT * sizeof(long));
}

bool testBit(const std::vector<unsigned long>& bits, std::size_t bit) {
    const std::size_t width = CHAR_BIT * sizeof(long);
    return (bits[bit / width] >> (bit % width)) & 1UL;
}

} // namespace

std::string findEvdevNode(const InputDeviceMatch& match) {
    std::string best;
    long bestNumber = -1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/input", ec)) {
        const std::string node = entry.path().filename().string();
        if (node.rfind("event", 0) != 0) {
            continue;
        }
        const fs::path device = entry.path() / "device";
        if ((match.name && firstLine(device / "name") != *match.name) ||
            (match.uniq && firstLine(device / "uniq") != *match.uniq) ||
            !idMatches(device, "bustype", match.bustype) ||
            !idMatches(device, "vendor", match.vendor) ||
            !idMatches(device, "product", match.product)) {
            continue;
        }
        const long number = inputNumber(device);
        if (number > bestNumber) {
            bestNumber = number;
            best = "/dev/input/" + node;
        }
    }
    return best;
}

EvdevReader::EvdevReader(const std::string& node)
    : node_(node), fd_(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (!fd_) {
        openError_ = errno;
    }
}

bool EvdevReader::readQueued() {
    if (!fd_ || readError_ != 0) {
        return false;
    }
    input_event events[64];
    for (;;) {
        const ssize_t n = ::read(fd_.get(), events, sizeof events);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                return true;
            }
            readError_ = errno;
            return false;
        }
        if (n == 0) {
            return true;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
            if (events[i].type == EV_SYN && events[i].code == SYN_REPORT) {
                complete_.push_back(std::move(partial_));
                partial_.clear();
            } else {
                partial_.push_back(events[i]);
            }
        }
    }
}

std::vector<InputFrame> EvdevReader::frames(std::size_t count, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<long>(timeoutSeconds * 1e6));
    while (readQueued() && complete_.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd_.get(), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    std::vector<InputFrame> out;
    const std::size_t n = std::min(count, complete_.size());
    out.assign(std::make_move_iterator(complete_.begin()),
               std::make_move_iterator(complete_.begin() + static_cast<std::ptrdiff_t>(n)));
    complete_.erase(complete_.begin(), complete_.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

int EvdevReader::waitForReadError(double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<long>(timeoutSeconds * 1e6));
    while (readQueued()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd_.get(), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return readError_;
}

int EvdevReader::grab(bool exclusive) {
    return ::ioctl(fd_.get(), EVIOCGRAB, exclusive ? 1 : 0) == 0 ? 0 : errno;
}

std::set<std::uint16_t> EvdevReader::keysDown() const {
    std::vector<unsigned long> bits(bitsToLongs(KEY_CNT), 0);
    std::set<std::uint16_t> down;
    if (::ioctl(fd_.get(), EVIOCGKEY(bits.size() * sizeof(long)), bits.data()) < 0) {
        return down;
    }
    for (std::uint16_t code = 0; code < KEY_CNT; ++code) {
        if (testBit(bits, code)) {
            down.insert(code);
        }
    }
    return down;
}

input_id EvdevReader::ids() const {
    input_id id{};
    ::ioctl(fd_.get(), EVIOCGID, &id);
    return id;
}

std::string EvdevReader::name() const {
    char buf[256] = {};
    if (::ioctl(fd_.get(), EVIOCGNAME(sizeof buf - 1), buf) < 0) {
        return {};
    }
    return buf;
}

bool EvdevReader::hasCode(std::uint16_t type, std::uint16_t code) const {
    std::vector<unsigned long> bits(bitsToLongs(KEY_CNT), 0);
    if (::ioctl(fd_.get(), EVIOCGBIT(type, bits.size() * sizeof(long)), bits.data()) < 0 ||
        code >= KEY_CNT) {
        return false;
    }
    return testBit(bits, code);
}

int sumOf(const std::vector<InputFrame>& frames, std::uint16_t type, std::uint16_t code) {
    int sum = 0;
    for (const InputFrame& frame : frames) {
        for (const input_event& e : frame) {
            sum += e.type == type && e.code == code ? e.value : 0;
        }
    }
    return sum;
}

std::vector<std::pair<std::uint16_t, int>> keysIn(const std::vector<InputFrame>& frames) {
    std::vector<std::pair<std::uint16_t, int>> keys;
    for (const InputFrame& frame : frames) {
        for (const input_event& e : frame) {
            if (e.type == EV_KEY) {
                keys.emplace_back(e.code, e.value);
            }
        }
    }
    return keys;
}

} // namespace zed::test
