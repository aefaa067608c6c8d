// Callbacks that write down what the registry told them.
#pragma once

#include "Platform/core/IOKit.h"

#include <cstdint>
#include <vector>

namespace zed::test {

struct MatchLog {
    int calls = 0;
    std::vector<io_service_t> services;
};

// Drains the iterator, as a matching callback must.
inline void recordMatches(void* refCon, ServiceIterator& iterator) {
    auto* log = static_cast<MatchLog*>(refCon);
    ++log->calls;
    while (io_service_t s = iterator.next()) {
        log->services.push_back(s);
    }
}

inline std::vector<io_service_t> drain(ServiceIterator& iterator) {
    std::vector<io_service_t> out;
    while (io_service_t s = iterator.next()) {
        out.push_back(s);
    }
    return out;
}

struct Received {
    io_service_t service;
    std::uint32_t type;
    std::uint64_t argument;
};

struct InterestLog {
    std::vector<Received> messages;
};

inline void recordInterest(void* refCon, io_service_t service, std::uint32_t type,
                           std::uint64_t argument) {
    static_cast<InterestLog*>(refCon)->messages.push_back({service, type, argument});
}

} // namespace zed::test
