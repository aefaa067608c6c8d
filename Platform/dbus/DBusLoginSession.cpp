#include "DBusLoginSession.h"

#include "Platform/core/Log.h"

#include <exception>

namespace zed {

using namespace registrybus;

DBusLoginSession::DBusLoginSession(BusPtr bus, std::uint64_t callTimeoutUsec)
    : bus_(std::move(bus)), timeout_(callTimeoutUsec) {}

DBusLoginSession::~DBusLoginSession() {
    slot_.reset();
    changedSlot_.reset();
    owner_.reset();
}

bool DBusLoginSession::readSession(sd_bus_message* m, std::optional<Dictionary>* session,
                                   std::string* error) {
    int present = 0;
    if (!sd_bus_message_has_signature(m, "ba{sv}")) {
        const char* sig = sd_bus_message_get_signature(m, 1);
        *error = "the answer is (" + std::string(sig ? sig : "") + "), not (ba{sv})";
        return false;
    }
    if (sd_bus_message_read_basic(m, 'b', &present) < 0) {
        *error = "unreadable presence flag";
        return false;
    }
    auto read = readDictionary(m, error);
    if (!read) {
        return false;
    }
    if (footprint(*read) > kMaxPropertiesBytes) {
        *error = "the session dictionary is too large";
        return false;
    }
    *session = present ? std::move(read) : std::nullopt;
    return true;
}

bool DBusLoginSession::follow() {
    if (changedSlot_ || followTried_ || !bus_) {
        return static_cast<bool>(changedSlot_);
    }
    followTried_ = true;
    if (!owner_) {
        // A new provider knows nothing of what the old one said.
        owner_ = std::make_unique<NameOwnerWatch>(
            bus_.get(), kBusName,
            [this](const std::string&, const std::string&) { known_ = false; });
        if (!owner_->start(timeout_)) {
            owner_.reset();
            return false;
        }
    }
    const std::string rule = std::string("type='signal',path='") + kSessionPath + "',interface='" +
                             kSessionInterface + "',member='Changed'";
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onChanged, this);
    if (r < 0) {
        zed::logErrno(-r, "cannot follow the login session");
        return false;
    }
    changedSlot_.reset(slot);
    return true;
}

std::optional<Dictionary> DBusLoginSession::copyCurrentDictionary() {
    if (follow() && known_) {
        return session_;
    }
    return askCurrentDictionary();
}

std::optional<Dictionary> DBusLoginSession::askCurrentDictionary() {
    // Followed before asking, so that no change falls between the answer
    // and the first signal.
    const bool following = follow();
    MessagePtr reply;
    // The agent polls once a second while nobody is logged in: only the
    // first failure of a run is worth a line.
    const IOReturn sent =
        callProvider(bus_.get(), kBusName, kSessionPath, kSessionInterface, "CopyCurrentDictionary",
                     nullptr, timeout_, "querying the login session", &reply, !failing_);
    if (sent != kIOReturnSuccess) {
        failing_ = true;
        known_ = false;
        return std::nullopt;
    }
    std::string error;
    std::optional<Dictionary> session;
    if (!readSession(reply.get(), &session, &error)) {
        if (!failing_) {
            zed::log("ignored a malformed login session: %s", error.c_str());
        }
        failing_ = true;
        known_ = false;
        return std::nullopt;
    }
    failing_ = false;
    known_ = following;
    session_ = session;
    return session;
}

int DBusLoginSession::onChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusLoginSession*>(userdata);
    if (!self->owner_ || !self->owner_->sentByOwner(m)) {
        const char* sender = sd_bus_message_get_sender(m);
        zed::log("ignored a session change from %s, which does not own %s",
                 sender ? sender : "an unknown sender", kBusName);
        return 0;
    }
    try {
        std::string error;
        std::optional<Dictionary> session;
        if (!readSession(m, &session, &error)) {
            // Not known any more: the next look asks.
            zed::log("ignored a malformed session change: %s", error.c_str());
            self->known_ = false;
            return 0;
        }
        self->session_ = std::move(session);
        self->known_ = true;
    } catch (...) {
        self->known_ = false;
        zed::log("a session change could not be kept");
    }
    return 0;
}

bool DBusLoginSession::setActivatedHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
    if (slot_ || !bus_) {
        return static_cast<bool>(slot_);
    }
    if (!follow() && !owner_) {
        return false;
    }
    const std::string rule = std::string("type='signal',path='") + kSessionPath + "',interface='" +
                             kSessionInterface + "',member='Activated'";
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onActivated, this);
    if (r < 0) {
        zed::logErrno(-r, "cannot watch the session-activated event");
        return false;
    }
    slot_.reset(slot);
    return true;
}

int DBusLoginSession::onActivated(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusLoginSession*>(userdata);
    if (!self->owner_ || !self->owner_->sentByOwner(m)) {
        const char* sender = sd_bus_message_get_sender(m);
        zed::log("ignored a session-activated event from %s, which does not own %s",
                 sender ? sender : "an unknown sender", kBusName);
        return 0;
    }
    if (!self->handler_) {
        return 0;
    }
    try {
        self->handler_();
    } catch (const std::exception& e) {
        zed::log("session-activated handler failed: %s", e.what());
    } catch (...) {
        zed::log("session-activated handler failed");
    }
    return 0;
}

} // namespace zed
