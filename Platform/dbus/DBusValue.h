// Values on D-Bus: int32 i, int64 x, double d, bool b, string s, data ay,
// array av, dictionary a{sv}; each carried in a variant. Also the small owning
// types for sd-bus handles.
#pragma once

#include "Platform/core/Value.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <systemd/sd-bus.h>

namespace zed {

struct BusUnref {
    void operator()(sd_bus* b) const { sd_bus_flush_close_unref(b); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* s) const { sd_bus_slot_unref(s); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

// Holds an sd_bus_error and frees it.
class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&e_); }
    sd_bus_error* get() { return &e_; }
    std::string text(int r) const;

private:
    sd_bus_error e_ = SD_BUS_ERROR_NULL;
};

enum class BusKind { Session, System };
// Opens a connection; null with a message on standard error when there is no bus.
BusPtr openBus(BusKind kind);

// Appends v as a variant (sv's v). Returns a negative errno on failure.
int appendVariant(sd_bus_message* m, const Value& v);
// Appends an a{sv}.
int appendDictionary(sd_bus_message* m, const Dictionary& d);

// Bounds on what one read decodes. Reading stops at the first bound crossed,
// before the rest is built, so that an oversized payload costs little.
struct ReadLimits {
    std::size_t values = SIZE_MAX;       // values in all, at every depth
    std::size_t elementBytes = SIZE_MAX; // one string, key or byte array
    int depth = 64;                      // containers in containers (D-Bus's own limit)
    std::size_t totalBytes = SIZE_MAX;   // rough size in memory, as footprint() counts
};

// Reads a variant or an a{sv}; empty with a reason when the payload does not
// hold one of the mapped types (or nests too deep, or crosses a limit).
std::optional<Value> readVariant(sd_bus_message* m, std::string* error);
std::optional<Dictionary> readDictionary(sd_bus_message* m, std::string* error);
std::optional<Dictionary> readDictionaryWithin(sd_bus_message* m, const ReadLimits& limits,
                                               std::string* error);

// Quotes a value for a D-Bus match rule.
std::string matchRuleQuote(const std::string& s);

} // namespace zed
