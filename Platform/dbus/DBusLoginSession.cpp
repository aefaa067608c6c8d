#include "DBusLoginSession.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace zed {

using namespace registrybus;

DBusLoginSession::DBusLoginSession(BusPtr bus, std::uint64_t callTimeoutUsec)
    : bus_(std::move(bus)), timeout_(callTimeoutUsec) {}

DBusLoginSession::~DBusLoginSession() {
    slot_.reset();
    owner_.reset();
}

std::optional<Dictionary> DBusLoginSession::copyCurrentDictionary() {
    MessagePtr reply;
    // The agent polls once a second while nobody is logged in: only the
    // first failure of a run is worth a line.
    const IOReturn sent =
        callProvider(bus_.get(), kBusName, kSessionPath, kSessionInterface, "CopyCurrentDictionary",
                     nullptr, timeout_, "querying the login session", &reply, !failing_);
    if (sent != kIOReturnSuccess) {
        failing_ = true;
        return std::nullopt;
    }
    std::string error;
    int present = 0;
    std::optional<Dictionary> session;
    if (!sd_bus_message_has_signature(reply.get(), "ba{sv}")) {
        const char* sig = sd_bus_message_get_signature(reply.get(), 1);
        error = "the answer is (" + std::string(sig ? sig : "") + "), not (ba{sv})";
    } else if (sd_bus_message_read_basic(reply.get(), 'b', &present) < 0) {
        error = "unreadable presence flag";
    } else {
        session = readDictionary(reply.get(), &error);
        if (session && footprint(*session) > kMaxPropertiesBytes) {
            error = "the session dictionary is too large";
        }
    }
    if (!error.empty()) {
        if (!failing_) {
            std::fprintf(stderr, "zed: ignored a malformed login session: %s\n", error.c_str());
        }
        failing_ = true;
        return std::nullopt;
    }
    failing_ = false;
    if (!present) {
        return std::nullopt;
    }
    return session;
}

bool DBusLoginSession::setActivatedHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
    if (slot_ || !bus_) {
        return static_cast<bool>(slot_);
    }
    if (!owner_) {
        owner_ = std::make_unique<NameOwnerWatch>(bus_.get(), kBusName, nullptr);
        if (!owner_->start(timeout_)) {
            owner_.reset();
            return false;
        }
    }
    const std::string rule = std::string("type='signal',path='") + kSessionPath + "',interface='" +
                             kSessionInterface + "',member='Activated'";
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onActivated, this);
    if (r < 0) {
        std::fprintf(stderr, "zed: cannot watch the session-activated event: %s\n",
                     std::strerror(-r));
        return false;
    }
    slot_.reset(slot);
    return true;
}

int DBusLoginSession::onActivated(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusLoginSession*>(userdata);
    if (!self->owner_ || !self->owner_->sentByOwner(m)) {
        const char* sender = sd_bus_message_get_sender(m);
        std::fprintf(stderr,
                     "zed: ignored a session-activated event from %s, which does not own %s\n",
                     sender ? sender : "an unknown sender", kBusName);
        return 0;
    }
    if (!self->handler_) {
        return 0;
    }
    try {
        self->handler_();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zed: session-activated handler failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zed: session-activated handler failed\n");
    }
    return 0;
}

} // namespace zed
