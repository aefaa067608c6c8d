// The login session of the simulated machine: com.tovik.LoginSession at
// /com/tovik/LoginSession, served by the owner of com.tovik.IORegistry. The
// session is kept from its Changed signal, so that a look at it costs no
// round trip; that signal and Activated count only when that owner sent them.
#pragma once

#include "DBusClient.h"
#include "DBusValue.h"
#include "Platform/core/Session.h"

#include <memory>

namespace zed {

class DBusLoginSession : public LoginSession {
public:
    // Takes a connection that is (or will be) attached to the run loop.
    explicit DBusLoginSession(BusPtr bus,
                              std::uint64_t callTimeoutUsec = registrybus::kDefaultCallTimeoutUsec);
    ~DBusLoginSession() override;

    std::optional<Dictionary> copyCurrentDictionary() override;
    std::optional<Dictionary> askCurrentDictionary() override;
    bool setActivatedHandler(std::function<void()> handler) override;

    sd_bus* bus() const { return bus_.get(); }

private:
    // Starts following the Changed signal (once); whether it is followed.
    bool follow();
    // Reads (b present, a{sv} session); false with the reason in error.
    static bool readSession(sd_bus_message* m, std::optional<Dictionary>* session,
                            std::string* error);
    static int onActivated(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);

    BusPtr bus_;
    std::uint64_t timeout_;
    std::unique_ptr<registrybus::NameOwnerWatch> owner_;
    std::function<void()> handler_;
    SlotPtr slot_;
    SlotPtr changedSlot_;
    bool followTried_ = false;
    // What the last answer or Changed signal said; known only while the
    // signal is followed and the provider that sent it still owns the name.
    bool known_ = false;
    std::optional<Dictionary> session_;
    bool failing_ = false; // the last query failed: say so once, not at every poll
};

} // namespace zed
