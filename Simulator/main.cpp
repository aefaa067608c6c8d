// zed-mouse-sim: the simulated mouse. "serve" runs the simulated machine on
// the session bus; every other command asks the running one to do something.
#include "Commands.h"
#include "MouseSimulator.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/core/RunLoop.h"
#include "Platform/dbus/DBusClient.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zed;
using namespace zed::sim;

constexpr std::uint64_t kCallTimeoutUsec = 5'000'000;

void usage(FILE* out);

int usageError(const std::string& why) {
    zed::log("%s", why.c_str());
    usage(stderr);
    return 2;
}

int serve(const std::vector<std::string>& args) {
    SimulatorOptions options;
    for (const std::string& a : args) {
        if (a == "--without-hid") {
            options.withHidSystem = false;
        } else if (a == "--logged-out") {
            options.loggedIn = false;
        } else if (a == "--away") {
            options.onConsole = false;
        } else {
            return usageError("serve: unexpected \"" + a + "\"");
        }
    }
    RunLoop loop;
    BusPtr bus = openBus(BusKind::Session);
    if (!loop.valid() || !bus || !loop.attachBus(bus.get())) {
        zed::log("cannot serve without a session bus");
        return 1;
    }
    auto stop = [&loop] { loop.exit(0); };
    auto term = loop.addSignal(SIGTERM, stop);
    auto intr = loop.addSignal(SIGINT, stop);
    MouseSimulator sim(bus.get(), options);
    if (!sim.start()) {
        return 1;
    }
    const char* unique = nullptr;
    sd_bus_get_unique_name(bus.get(), &unique);
    std::printf("zed-mouse-sim: serving %s as %s\n", registrybus::kBusName, unique ? unique : "?");
    std::fflush(stdout);
    const int r = loop.run();
    std::printf("zed-mouse-sim: stopped\n");
    return r < 0 ? 1 : 0;
}

// Calls the running simulator's control interface.
class Control {
public:
    bool open() {
        bus_ = openBus(BusKind::Session);
        return static_cast<bool>(bus_);
    }

    // False with a message when the call fails.
    bool call(const char* member, const std::function<int(sd_bus_message*)>& append,
              MessagePtr* reply) {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_call(bus_.get(), &raw, registrybus::kBusName,
                                               kControlPath, kControlInterface, member);
        MessagePtr m(raw);
        if (r >= 0) {
            r = sd_bus_message_set_auto_start(m.get(), 0);
        }
        if (r >= 0 && append) {
            r = append(m.get());
        }
        BusError error;
        sd_bus_message* replyRaw = nullptr;
        if (r >= 0) {
            r = sd_bus_call(bus_.get(), m.get(), kCallTimeoutUsec, error.get(), &replyRaw);
        }
        MessagePtr answer(replyRaw);
        if (r < 0) {
            if (sd_bus_error_has_names(error.get(), SD_BUS_ERROR_SERVICE_UNKNOWN,
                                       SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
                zed::log("the simulator is not running (start it with: zed-mouse-sim serve)");
            } else if (sd_bus_error_has_names(error.get(), SD_BUS_ERROR_UNKNOWN_OBJECT,
                                              SD_BUS_ERROR_UNKNOWN_METHOD)) {
                zed::log("%s is served by something other than the simulator",
                         registrybus::kBusName);
            } else {
                const sd_bus_error* e = error.get();
                zed::log("%s",
                         sd_bus_error_is_set(e) && e->message ? e->message : error.text(r).c_str());
            }
            return false;
        }
        if (reply) {
            *reply = std::move(answer);
        }
        return true;
    }

private:
    BusPtr bus_;
};

int sendWord(Control& control, std::uint32_t to, std::uint32_t word, std::uint64_t argument) {
    MessagePtr reply;
    if (!control.call(
            "SendMessage",
            [&](sd_bus_message* m) { return sd_bus_message_append(m, "uut", to, word, argument); },
            &reply)) {
        return 1;
    }
    std::uint32_t driver = 0;
    sd_bus_message_read(reply.get(), "u", &driver);
    std::printf("0x%08x\n", word);
    return 0;
}

bool connect(Control& control) {
    if (!control.open()) {
        zed::log("no session bus (is DBUS_SESSION_BUS_ADDRESS set?)");
        return false;
    }
    return true;
}

// Plug and Unplug answer with the driver's and the device's ids: the
// driver's is printed.
int callPrintingDriver(const char* member, const std::function<int(sd_bus_message*)>& append) {
    Control control;
    MessagePtr reply;
    if (!connect(control) || !control.call(member, append, &reply)) {
        return 1;
    }
    std::uint32_t driver = 0, device = 0;
    sd_bus_message_read(reply.get(), "uu", &driver, &device);
    std::printf("%u\n", driver);
    return 0;
}

int plug(const std::vector<std::string>& args) {
    std::int32_t vendor = kTovikVendorId;
    std::int32_t product = kCopperhoundProductIds[0];
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasNext = i + 1 < args.size();
        if ((args[i] == "--product" || args[i] == "--vendor") && hasNext) {
            auto v = parseStatus(args[i + 1]);
            if (!v) {
                return usageError(args[i] + " takes a number");
            }
            (args[i] == "--product" ? product : vendor) = *v;
            ++i;
        } else {
            return usageError("plug: unexpected \"" + args[i] + "\"");
        }
    }
    return callPrintingDriver(
        "Plug", [&](sd_bus_message* m) { return sd_bus_message_append(m, "ii", vendor, product); });
}

int unplug(const std::vector<std::string>& args) {
    std::uint32_t id = 0;
    if (args.size() > 1) {
        return usageError("unplug takes at most one ID");
    }
    if (!args.empty()) {
        auto v = parseId(args[0]);
        if (!v) {
            return usageError("not a mouse id: \"" + args[0] + "\"");
        }
        id = *v;
    }
    return callPrintingDriver("Unplug",
                              [&](sd_bus_message* m) { return sd_bus_message_append(m, "u", id); });
}

int message(const std::vector<std::string>& args) {
    std::optional<std::uint32_t> word;
    std::uint32_t to = 0;
    std::uint64_t argument = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasNext = i + 1 < args.size();
        if (args[i] == "--to" && hasNext) {
            auto v = parseId(args[++i]);
            if (!v) {
                return usageError("--to takes a mouse id");
            }
            to = *v;
        } else if (args[i] == "--argument" && hasNext) {
            auto v = parseWord(args[++i]);
            if (!v) {
                return usageError("--argument takes a number");
            }
            argument = *v;
        } else if (!word) {
            word = parseWord(args[i]);
            if (!word) {
                return usageError("WORD is hex (0x..) or decimal, 32 bits: \"" + args[i] + "\"");
            }
        } else {
            return usageError("message: unexpected \"" + args[i] + "\"");
        }
    }
    if (!word) {
        return usageError("message needs a WORD");
    }
    Control control;
    return connect(control) ? sendWord(control, to, *word, argument) : 1;
}

int press(const std::vector<std::string>& args) {
    std::string why;
    auto press = parsePress(args, &why);
    if (!press) {
        return usageError("press: " + why);
    }
    Control control;
    return connect(control) ? sendWord(control, press->to, pressWord(*press), 0) : 1;
}

int show(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("show driver|hid|events|session|devices");
    }
    Control control;
    MessagePtr reply;
    if (!connect(control) ||
        !control.call(
            "Show",
            [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", args[0].c_str()); },
            &reply)) {
        return 1;
    }
    char** lines = nullptr;
    if (sd_bus_message_read_strv(reply.get(), &lines) < 0) {
        zed::log("unreadable answer");
        return 1;
    }
    for (char** l = lines; l && *l; ++l) {
        std::printf("%s\n", *l);
        std::free(*l);
    }
    std::free(lines);
    return 0;
}

int failNext(const std::vector<std::string>& args) {
    std::optional<std::int32_t> status = args.size() == 1 ? parseStatus(args[0]) : std::nullopt;
    if (!status) {
        return usageError("fail-next takes one STATUS (hex 0x.. or decimal)");
    }
    Control control;
    return connect(control) &&
                   control.call(
                       "FailNext",
                       [&](sd_bus_message* m) { return sd_bus_message_append(m, "i", *status); },
                       nullptr)
               ? 0
               : 1;
}

int session(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("session away|back|login|logout|none");
    }
    Control control;
    return connect(control) && control.call(
                                   "SetSession",
                                   [&](sd_bus_message* m) {
                                       return sd_bus_message_append(m, "s", args[0].c_str());
                                   },
                                   nullptr)
               ? 0
               : 1;
}

struct Command {
    const char* name;
    int (*handler)(const std::vector<std::string>& args);
    // Its lines in the usage text.
    const char* usage;
};

// In the order the usage lists them.
constexpr Command kCommands[] = {
    {"serve", serve,
     "  serve [--without-hid] [--logged-out] [--away]\n"
     "                          run the simulated machine on the session bus\n"},
    {"plug", plug,
     "  plug [--product 1|2] [--vendor ID]\n"
     "                          plug a mouse in; prints its id (its driver's service)\n"},
    {"unplug", unplug, "  unplug [ID]             remove a mouse (default: the last plugged)\n"},
    {"message", message,
     "  message WORD [--to ID] [--argument N]\n"
     "                          send a driver message word (hex 0x.. or decimal)\n"},
    {"press", press,
     "  press BUTTON [--step up|down] [--advanced] [--begin] [--end] [--to ID]\n"
     "                          send the word of a button press (BUTTON 1-7)\n"},
    {"show", show,
     "  show driver|hid|events|session|devices\n"
     "                          print what was received, one JSON record a line\n"},
    {"fail-next", failNext,
     "  fail-next STATUS        the driver's next SetProperties answers STATUS\n"},
    {"session", session,
     "  session away|back|login|logout|none\n"
     "                          switch the login session (back: session activated)\n"},
};

void usage(FILE* out) {
    std::fputs("usage: zed-mouse-sim COMMAND [ARGS]\n", out);
    for (const Command& c : kCommands) {
        std::fputs(c.usage, out);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (name == "help" || name == "--help" || name == "-h") {
        usage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            return c.handler(args);
        }
    }
    return usageError("unknown command \"" + name + "\"");
}
