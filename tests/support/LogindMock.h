// Private buses with python-dbusmock stand-ins on them (logind's template, or
// any service a test scripts), and the calls a test makes to script logind.
#pragma once

#include "Platform/dbus/DBusValue.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <vector>

namespace deskfake {

// A child process, ended (by its own id) when this goes away.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }
    // Starts argv with extra environment; its standard output goes to outFd
    // when that is not -1.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               int outFd = -1) {
        pid_ = fork();
        if (pid_ < 0) {
            return false;
        }
        if (pid_ == 0) {
            for (const std::string& e : env) {
                putenv(const_cast<char*>(e.c_str()));
            }
            if (outFd >= 0) {
                dup2(outFd, STDOUT_FILENO);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        return true;
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
};

// A private dbus-daemon with python-dbusmock serving one name on it; the
// mock's bus address goes to it as the system or the session bus.
class MockBus {
public:
    static constexpr const char* kPython = "/usr/bin/python3";
    static constexpr const char* kDaemon = "/usr/bin/dbus-daemon";

    // Starts the bus, then `python3 -m dbusmock ARGS` with the bus's address
    // in `addressVariable`, and waits until `name` is owned. Empty when it
    // runs; otherwise why it could not be started.
    std::string start(const std::vector<std::string>& mockArgs, const char* addressVariable,
                      const char* name, const char* needs) {
        if (!std::filesystem::exists(kDaemon)) {
            return "dbus-daemon is not installed";
        }
        if (!std::filesystem::exists(needs)) {
            return "python3-dbusmock is not installed";
        }
        int fds[2];
        if (pipe(fds) != 0) {
            return "no pipe";
        }
        const bool started = bus_.start({kDaemon, "--session", "--nofork", "--nopidfile",
                                         "--print-address=" + std::to_string(fds[1])},
                                        {}, -1);
        close(fds[1]);
        if (!started) {
            close(fds[0]);
            return "cannot start dbus-daemon";
        }
        std::string line;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(fds[0]);
        if (line.empty()) {
            return "dbus-daemon gave no address";
        }
        address_ = line;
        // The mock logs every call on its standard output; the test's own
        // output stays readable without it.
        std::vector<std::string> argv{kPython, "-m", "dbusmock"};
        argv.insert(argv.end(), mockArgs.begin(), mockArgs.end());
        const int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        const bool mockStarted =
            mock_.start(argv, {std::string(addressVariable) + "=" + address_}, devnull);
        if (devnull >= 0) {
            close(devnull);
        }
        if (!mockStarted) {
            return "cannot start python3 -m dbusmock";
        }
        control_ = connect();
        if (!control_) {
            return "cannot connect to the private bus";
        }
        // The mock takes its name once Python has started; wait for that,
        // with a generous bound for a loaded machine.
        for (int i = 0; i < 600; ++i) {
            sd_bus_message* reply = nullptr;
            int r = sd_bus_call_method(control_.get(), "org.freedesktop.DBus",
                                       "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       "NameHasOwner", nullptr, &reply, "s", name);
            zed::MessagePtr owned(reply);
            int has = 0;
            if (r >= 0 && sd_bus_message_read(owned.get(), "b", &has) >= 0 && has) {
                return {};
            }
            usleep(50000);
        }
        return std::string("the stand-in for ") + name + " did not come up";
    }

    const std::string& address() const { return address_; }
    sd_bus* control() const { return control_.get(); }

    zed::BusPtr connect() const {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0) {
            return nullptr;
        }
        zed::BusPtr owned(bus);
        if (sd_bus_set_address(bus, address_.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
            sd_bus_start(bus) < 0) {
            return nullptr;
        }
        return owned;
    }

private:
    Child bus_;
    Child mock_;
    std::string address_;
    zed::BusPtr control_;
};

// python-dbusmock's logind template on a private bus standing in for the
// system bus, and the calls a test makes to script it.
class LogindMock {
public:
    // Empty when it runs; otherwise why it could not be started.
    std::string start() {
        return bus_.start({"--template", "logind"}, "DBUS_SYSTEM_BUS_ADDRESS",
                          "org.freedesktop.login1",
                          "/usr/lib/python3/dist-packages/dbusmock/templates/logind.py");
    }

    const std::string& address() const { return bus_.address(); }
    zed::BusPtr connect() const { return bus_.connect(); }

    // Back to the template's first state.
    bool reset() { return call("/org/freedesktop/login1", "org.freedesktop.DBus.Mock", "Reset"); }

    bool addSession(const std::string& id, const std::string& seat, std::uint32_t uid,
                    const std::string& user, bool active) {
        sd_bus_message* reply = nullptr;
        int r =
            sd_bus_call_method(control(), "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.DBus.Mock", "AddSession", nullptr, &reply, "ssusb",
                               id.c_str(), seat.c_str(), uid, user.c_str(), active ? 1 : 0);
        zed::MessagePtr owned(reply);
        return r >= 0;
    }

    static std::string sessionPath(const std::string& id) {
        return "/org/freedesktop/login1/session/" + id;
    }

    // Sets a session property the way logind changes it: with a
    // PropertiesChanged signal.
    bool setSessionBool(const std::string& id, const char* name, bool value) {
        return setProperty(sessionPath(id), name, "b", [value](sd_bus_message* m) {
            return sd_bus_message_append(m, "b", value ? 1 : 0);
        });
    }
    bool setSessionString(const std::string& id, const char* name, const std::string& value) {
        return setProperty(sessionPath(id), name, "s", [&value](sd_bus_message* m) {
            return sd_bus_message_append(m, "s", value.c_str());
        });
    }
    bool setSessionSeat(const std::string& id, const std::string& seat, const std::string& path) {
        return setProperty(sessionPath(id), "Seat", "(so)", [&](sd_bus_message* m) {
            return sd_bus_message_append(m, "(so)", seat.c_str(), path.c_str());
        });
    }

    // How often the manager's method was called since the last reset.
    long managerCalls(const char* method) {
        sd_bus_message* reply = nullptr;
        int r = sd_bus_call_method(control(), "org.freedesktop.login1", "/org/freedesktop/login1",
                                   "org.freedesktop.DBus.Mock", "GetMethodCalls", nullptr, &reply,
                                   "s", method);
        zed::MessagePtr owned(reply);
        if (r < 0 || sd_bus_message_enter_container(owned.get(), 'a', "(tav)") < 0) {
            return -1;
        }
        long n = 0;
        while ((r = sd_bus_message_skip(owned.get(), "(tav)")) > 0) {
            ++n;
        }
        return r < 0 ? -1 : n;
    }

    // A manager signal with a session id and path, as logind sends it.
    bool emitManagerSignal(const char* name, const std::string& id) {
        sd_bus_message* raw = nullptr;
        if (sd_bus_message_new_method_call(control(), &raw, "org.freedesktop.login1",
                                           "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
                                           "EmitSignal") < 0) {
            return false;
        }
        zed::MessagePtr m(raw);
        const std::string path = sessionPath(id);
        if (sd_bus_message_append(m.get(), "sss", "org.freedesktop.login1.Manager", name, "so") <
                0 ||
            sd_bus_message_open_container(m.get(), 'a', "v") < 0 ||
            sd_bus_message_append(m.get(), "v", "s", id.c_str()) < 0 ||
            sd_bus_message_append(m.get(), "v", "o", path.c_str()) < 0 ||
            sd_bus_message_close_container(m.get()) < 0) {
            return false;
        }
        return sent(m.get());
    }

private:
    bool sent(sd_bus_message* m) {
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call(control(), m, 0, nullptr, &reply);
        zed::MessagePtr owned(reply);
        return r >= 0;
    }
    template <typename Append>
    bool setProperty(const std::string& path, const char* name, const char* type, Append append) {
        sd_bus_message* raw = nullptr;
        if (sd_bus_message_new_method_call(control(), &raw, "org.freedesktop.login1", path.c_str(),
                                           "org.freedesktop.DBus.Properties", "Set") < 0) {
            return false;
        }
        zed::MessagePtr m(raw);
        if (sd_bus_message_append(m.get(), "ss", "org.freedesktop.login1.Session", name) < 0 ||
            sd_bus_message_open_container(m.get(), 'v', type) < 0 || append(m.get()) < 0 ||
            sd_bus_message_close_container(m.get()) < 0) {
            return false;
        }
        return sent(m.get());
    }
    bool call(const char* path, const char* interface, const char* member) {
        sd_bus_message* reply = nullptr;
        int r = sd_bus_call_method(control(), "org.freedesktop.login1", path, interface, member,
                                   nullptr, &reply, "");
        zed::MessagePtr owned(reply);
        return r >= 0;
    }

    sd_bus* control() const { return bus_.control(); }

    MockBus bus_;
};

} // namespace deskfake
