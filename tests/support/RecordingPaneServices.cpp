#include "RecordingPaneServices.h"

#include <utility>

namespace zed {

RecordingPaneServices::RecordingPaneServices(std::unique_ptr<PaneBundle> bundle)
    : bundle_(std::move(bundle)) {}

RecordingPaneServices::~RecordingPaneServices() = default;

bool RecordingPaneServices::openUrl(const QUrl& url) {
    openedUrls.push_back(url);
    return true;
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

} // namespace zed
