// The login session of the simulated machine: com.tovik.LoginSession at
// /com/tovik/LoginSession, served by the owner of com.tovik.IORegistry. Its
// Activated signal counts only when that owner sent it.
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
    bool setActivatedHandler(std::function<void()> handler) override;

    sd_bus* bus() const { return bus_.get(); }

private:
    static int onActivated(sd_bus_message* m, void* userdata, sd_bus_error* error);

    BusPtr bus_;
    std::uint64_t timeout_;
    std::unique_ptr<registrybus::NameOwnerWatch> owner_;
    std::function<void()> handler_;
    SlotPtr slot_;
    bool failing_ = false; // the last query failed: say so once, not at every poll
};

} // namespace zed
