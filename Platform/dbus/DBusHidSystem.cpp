#include "DBusHidSystem.h"

#include "Platform/core/Log.h"

namespace zed {

using namespace registrybus;

DBusHidSystem::DBusHidSystem(BusPtr bus, std::uint64_t callTimeoutUsec)
    : bus_(std::move(bus)), timeout_(callTimeoutUsec) {}

DBusHidSystem::~DBusHidSystem() = default;

IOReturn DBusHidSystem::callService(io_service_t service, const char* member,
                                    const char* replySignature,
                                    const std::function<int(sd_bus_message*)>& append,
                                    const char* what, MessagePtr* reply) {
    MessagePtr answer;
    const IOReturn sent =
        callProvider(bus_.get(), kBusName, servicePath(service), kHidSystemInterface, member,
                     append, timeout_, what, &answer);
    if (sent != kIOReturnSuccess) {
        return sent;
    }
    std::int32_t status = 0;
    if (!sd_bus_message_has_signature(answer.get(), replySignature) ||
        (replySignature[0] == 'i' && sd_bus_message_read_basic(answer.get(), 'i', &status) < 0)) {
        const char* sig = sd_bus_message_get_signature(answer.get(), 1);
        zed::log("%s: the HID system answered (%s), not (%s)", what, sig ? sig : "",
                 replySignature);
        return kIOReturnIPCError;
    }
    if (reply) {
        *reply = std::move(answer);
    }
    return status;
}

IOReturn DBusHidSystem::call(io_connect_t connect, const char* member, const char* replySignature,
                             const std::function<int(sd_bus_message*)>& append, const char* what,
                             MessagePtr* reply) {
    auto it = connections_.find(connect);
    if (connect == 0 || it == connections_.end()) {
        return kIOReturnNotOpen;
    }
    return callService(it->second, member, replySignature, append, what, reply);
}

IOReturn DBusHidSystem::open(io_service_t hidSystem, std::uint32_t type, io_connect_t* connect) {
    *connect = 0;
    if (hidSystem == 0) {
        return kIOReturnBadArgument;
    }
    MessagePtr reply;
    const IOReturn status = callService(
        hidSystem, "Open", "iu",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "u", type); },
        "opening the HID system", &reply);
    if (status != kIOReturnSuccess) {
        return status;
    }
    std::uint32_t handle = 0;
    if (sd_bus_message_read_basic(reply.get(), 'u', &handle) < 0 || handle == 0) {
        zed::log("the HID system opened without giving a connection");
        return kIOReturnIPCError;
    }
    connections_[handle] = hidSystem;
    *connect = handle;
    return kIOReturnSuccess;
}

void DBusHidSystem::close(io_connect_t connect) {
    auto it = connections_.find(connect);
    if (connect == 0 || it == connections_.end()) {
        return;
    }
    const io_service_t service = it->second;
    connections_.erase(it);
    MessagePtr reply;
    callProvider(
        bus_.get(), kBusName, servicePath(service), kHidSystemInterface, "Close",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "u", connect); }, timeout_,
        "closing the HID system", &reply);
}

IOReturn DBusHidSystem::setMouseButtonMode(io_connect_t connect, std::int32_t mode) {
    return call(
        connect, "SetMouseButtonMode", "i",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "ui", connect, mode); },
        "setting the mouse button mode", nullptr);
}

IOReturn DBusHidSystem::setAccelerationWithKey(io_connect_t connect, const std::string& key,
                                               double acceleration) {
    return call(
        connect, "SetAccelerationWithKey", "i",
        [&](sd_bus_message* m) {
            return sd_bus_message_append(m, "usd", connect, key.c_str(), acceleration);
        },
        "setting the acceleration", nullptr);
}

IOReturn DBusHidSystem::getAccelerationWithKey(io_connect_t connect, const std::string& key,
                                               double* acceleration) {
    MessagePtr reply;
    const IOReturn status = call(
        connect, "GetAccelerationWithKey", "id",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "us", connect, key.c_str()); },
        "reading the acceleration", &reply);
    if (status != kIOReturnSuccess) {
        return status;
    }
    double value = 0;
    if (sd_bus_message_read_basic(reply.get(), 'd', &value) < 0) {
        return kIOReturnIPCError;
    }
    *acceleration = value;
    return kIOReturnSuccess;
}

IOReturn DBusHidSystem::postEvent(io_connect_t connect, std::uint32_t eventType, std::int16_t x,
                                  std::int16_t y, const NXEventData& data,
                                  std::uint32_t dataVersion, std::uint32_t eventFlags,
                                  std::uint32_t options) {
    return call(
        connect, "PostEvent", "i",
        [&](sd_bus_message* m) {
            int r = sd_bus_message_append(m, "uunn", connect, eventType, x, y);
            if (r >= 0) {
                r = sd_bus_message_append_array(m, 'y', data.bytes.data(), data.bytes.size());
            }
            if (r >= 0) {
                r = sd_bus_message_append(m, "uuu", dataVersion, eventFlags, options);
            }
            return r;
        },
        "posting an event", nullptr);
}

IOReturn DBusHidSystem::releaseHeldKeys(io_connect_t connect) {
    return connect != 0 && connections_.count(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
}

} // namespace zed
