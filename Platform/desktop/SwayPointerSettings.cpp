#include "SwayPointerSettings.h"

#include "SwayIpc.h"

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
    return static_cast<bool>(sway::connectTo(socketPath));
}

std::optional<std::string> SwayPointerControl::exchangeOnce(std::uint32_t type,
                                                            const std::string& payload) {
    if (!fd_) {
        fd_ = sway::connectTo(socketPath_);
        if (!fd_) {
            return std::nullopt;
        }
    }
    if (auto reply = sway::request(fd_.get(), type, payload)) {
        return reply;
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
    const auto json = sway::parseJson(*reply);
    if (!json || json->kind != sway::Json::Kind::Array || json->items.empty()) {
        report_.say("an answer that is not sway's to \"" + text + "\"");
        return kIOReturnIPCError;
    }
    for (const sway::Json& result : json->items) {
        const sway::Json* success = result.member("success");
        if (!success || success->kind != sway::Json::Kind::Bool || !success->boolean) {
            const sway::Json* error = result.member("error");
            report_.say("\"" + text + "\" was refused (" +
                        (error && error->kind == sway::Json::Kind::String
                             ? error->string
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
    const auto json = sway::parseJson(*reply);
    if (!json || json->kind != sway::Json::Kind::Array) {
        report_.say("an answer that is not sway's to the list of inputs");
        return kIOReturnIPCError;
    }
    for (const sway::Json& input : json->items) {
        const sway::Json* type = input.member("type");
        const sway::Json* libinput = input.member("libinput");
        const sway::Json* speed = libinput ? libinput->member("accel_speed") : nullptr;
        if (type && type->kind == sway::Json::Kind::String && type->string == "pointer" && speed &&
            speed->kind == sway::Json::Kind::Number) {
            if (acceleration) {
                *acceleration = accelerationFromLibinputSpeed(speed->number);
            }
            return kIOReturnSuccess;
        }
    }
    return kIOReturnNoDevice; // no mouse yet: the caller keeps its own value
}

} // namespace zed
