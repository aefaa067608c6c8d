// The driver message handler on fakes: typing a 16-item macro, and one
// on-the-fly step (without the overlay) with the domain in memory and on disk.
#include "Daemon/CallBacks.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "tests/support/FakeAgent.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A folder of its own for the domain, when the benchmark wants it on disk.
struct DomainFolder {
    std::string path;
    explicit DomainFolder(bool wanted) {
        if (wanted) {
            char tmpl[] = "/tmp/zed-bench-XXXXXX";
            path = mkdtemp(tmpl);
        }
    }
    ~DomainFolder() {
        if (!path.empty()) {
            std::filesystem::remove_all(path);
        }
    }
};

// The agent, with its domain in memory or on disk. The folder comes first so
// that it outlives the agent's platform.
struct Agent : DomainFolder, FakeAgent {
    explicit Agent(bool domainOnDisk)
        : DomainFolder(domainOnDisk),
          FakeAgent(domainOnDisk ? std::make_unique<zed::FilePreferenceDomains>(path) : nullptr) {}
    void apply(zed::Data element, zed::Dictionary more = {}) {
        FakeAgent::apply(zed::Array{zed::Value(std::move(element))}, std::move(more));
    }
};

zed::Data macro16() {
    // Command down, then 7 keys pressed and released, Command up: 16 items.
    std::string list = "567";
    for (int key = 0; key < 7; ++key) {
        list += "," + std::to_string(0x200 + key) + "," + std::to_string(0x100 + key);
    }
    list += ",311";
    zed::Data d(list.size() + 1, 4);
    std::copy(list.begin(), list.end(), d.begin() + 1);
    return d;
}

void BM_DriverNotifMacro16(benchmark::State& state) {
    Agent agent(false);
    agent.apply(macro16());
    for (auto _ : state) {
        DriverNotifProc(nullptr, agent.driver, 0x0000, 0);
        agent.hid->events.clear();
    }
}
BENCHMARK(BM_DriverNotifMacro16);

void BM_DriverNotifStep(benchmark::State& state) {
    const bool onDisk = state.range(0) != 0;
    Agent agent(onDisk);
    agent.apply(zed::Data{7},
                {{"OtfsOnScreen", zed::Value(std::int32_t{0})}, {"Sensitivity", zed::Value(5.0)}});
    std::uint32_t word = 0x0001;
    for (auto _ : state) {
        DriverNotifProc(nullptr, agent.driver, word, 0);
        word = word == 0x0001 ? 0x00FF : 0x0001; // up and down in turn
    }
    state.SetLabel(onDisk ? "domain on disk (3 flushed writes)" : "domain in memory");
}
BENCHMARK(BM_DriverNotifStep)->Arg(0)->Arg(1);

} // namespace
