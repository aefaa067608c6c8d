// The maker's USB identifiers, shared by the agent and the simulated mouse.
#pragma once

#include <cstdint>

namespace zed {

// Chosen for this product; a real driver must report the same "idVendor".
constexpr std::int32_t kTovikVendorId = 0x2F1A;
constexpr std::int32_t kCopperhoundProductIds[] = {1, 2};

} // namespace zed
