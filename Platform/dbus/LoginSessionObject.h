// The login session (com.tovik.LoginSession at /com/tovik/LoginSession):
// CopyCurrentDictionary answers whether there is a session and its
// dictionary; Changed carries the same answer whenever it changes, so that
// clients keep it without asking; Activated says the session came back to
// the console.
#pragma once

#include "Platform/dbus/DBusValue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zed::registryserver {

class LoginSessionObject {
    struct Key {
        explicit Key() = default;
    };

public:
    // The current session's dictionary; empty when there is no session.
    using Copy = std::function<std::optional<Dictionary>()>;

    // Serves the object; null with a message when the bus refuses it.
    static std::unique_ptr<LoginSessionObject> create(sd_bus* bus, Copy copy);
    LoginSessionObject(Key, sd_bus* bus, Copy copy);
    LoginSessionObject(const LoginSessionObject&) = delete;
    LoginSessionObject& operator=(const LoginSessionObject&) = delete;

    // False with a message when the signal cannot be sent.
    bool emitActivated();
    // The session as it is now (empty: there is none).
    bool emitChanged(const std::optional<Dictionary>& session);

private:
    static const sd_bus_vtable kVtable[];
    static int onCopy(sd_bus_message* m, void* userdata, sd_bus_error* error);

    sd_bus* bus_;
    Copy copy_;
    SlotPtr slot_;
};

} // namespace zed::registryserver
