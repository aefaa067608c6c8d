#include "FakeOverlayWindow.h"

#include <algorithm>
#include <cstring>

namespace zed {

std::uint32_t RecordedPicture::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    return pixels[static_cast<std::size_t>(y) * width + x];
}

namespace {

class FakeOverlayWindow final : public OverlayWindow {
public:
    explicit FakeOverlayWindow(std::shared_ptr<FakeWindowRecord> record)
        : record_(std::move(record)) {}
    ~FakeOverlayWindow() override { record_->closed = true; }
    FakeOverlayWindow(const FakeOverlayWindow&) = delete;
    FakeOverlayWindow& operator=(const FakeOverlayWindow&) = delete;

    int width() const override { return record_->width; }
    int height() const override { return record_->height; }
    int scale() override { return record_->scale; }
    void setFrameOrigin(OverlayPoint origin) override { record_->origins.push_back(origin); }

    void show(const PictureView& picture) override {
        RecordedPicture copy;
        if (!picture.empty()) {
            copy.width = picture.width;
            copy.height = picture.height;
            copy.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
            for (int y = 0; y < picture.height; ++y)
                std::memcpy(&copy.pixels[static_cast<std::size_t>(y) * picture.width],
                            picture.data + static_cast<std::size_t>(y) * picture.stride,
                            4 * static_cast<std::size_t>(picture.width));
        }
        record_->pictures.push_back(std::move(copy));
    }

private:
    std::shared_ptr<FakeWindowRecord> record_;
};

} // namespace

std::unique_ptr<OverlayWindow> FakeOverlayService::createWindow(int width, int height) {
    ++createRequests_;
    if (!displayAvailable_)
        return nullptr;
    auto record = std::make_shared<FakeWindowRecord>();
    record->width = width;
    record->height = height;
    record->scale = scale_;
    windows_.push_back(record);
    return std::make_unique<FakeOverlayWindow>(std::move(record));
}

int FakeOverlayService::openWindows() const {
    return static_cast<int>(
        std::count_if(windows_.begin(), windows_.end(), [](const auto& w) { return !w->closed; }));
}

} // namespace zed
