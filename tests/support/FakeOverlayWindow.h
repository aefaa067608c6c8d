// Recording overlay service for tests: windows exist only as records of what
// was done to them.
#pragma once

#include "Platform/overlay/OverlayWindow.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zed {

// A copy of a picture that was shown.
struct RecordedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // premultiplied ARGB32, rows from the top

    std::uint32_t pixel(int x, int y) const;
};

// Everything that happened to one window, kept after the window is gone.
struct FakeWindowRecord {
    int width = 0;
    int height = 0;
    int scale = 1;
    std::vector<OverlayPoint> origins;
    std::vector<RecordedPicture> pictures;
    bool closed = false;
};

class FakeOverlayService final : public OverlayWindowService {
public:
    explicit FakeOverlayService(OverlayRect visibleFrame = {0, 0, 1280, 1024})
        : visibleFrame_(visibleFrame) {}

    OverlayRect visibleFrame() override { return visibleFrame_; }
    std::unique_ptr<OverlayWindow> createWindow(int width, int height) override;

    void setVisibleFrame(OverlayRect frame) { visibleFrame_ = frame; }
    // Without a display, createWindow answers nullptr.
    void setDisplayAvailable(bool available) { displayAvailable_ = available; }
    // The scale the windows made from now on ask their pictures at.
    void setScale(int scale) { scale_ = scale; }

    int createRequests() const { return createRequests_; }
    // Every window made, oldest first.
    const std::vector<std::shared_ptr<FakeWindowRecord>>& windows() const { return windows_; }
    int openWindows() const;

private:
    OverlayRect visibleFrame_;
    bool displayAvailable_ = true;
    int scale_ = 1;
    int createRequests_ = 0;
    std::vector<std::shared_ptr<FakeWindowRecord>> windows_;
};

} // namespace zed
