#include "RecordingPaneServices.h"

#include <utility>

namespace zed {

RecordingPaneServices::RecordingPaneServices(std::unique_ptr<PaneBundle> bundle)
    : bundle_(std::move(bundle)) {}

RecordingPaneServices::~RecordingPaneServices() = default;

bool RecordingPaneServices::openUrl(const QUrl& url) {
    openedUrls.push_back(url);
    return urlsOpen;
}

bool RecordingPaneServices::registerHelpBook(const PaneBundle& bundle) {
    registeredHelpBooks.push_back(bundle.path());
    return true;
}

bool RecordingPaneServices::gotoHelpPage(const QString& book, const QString& page,
                                         const QString& anchor) {
    helpPages.push_back({book, page, anchor});
    return true;
}

void RecordingPaneServices::displayMapTypeAlert() {
    ++alertCount;
    if (whileAlertShown) {
        whileAlertShown();
    }
}

void RecordingPaneServices::displayLinkFailure(const QUrl& url) {
    linkFailures.push_back(url);
}

MouseStatus RecordingPaneServices::mouseStatus() {
    const std::lock_guard lock(statusLock_);
    return status_;
}

void RecordingPaneServices::setMouseStatus(const MouseStatus& status) {
    const std::lock_guard lock(statusLock_);
    status_ = status;
}

} // namespace zed
