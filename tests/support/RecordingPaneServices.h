// The pane's desktop services for tests: records what the pane asked for
// (web pages, help books and pages, alerts) and opens nothing; the mouse's
// status is what the test sets.
#pragma once

#include "PrefsPane/Services/PaneServices.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zed {

class RecordingPaneServices : public PaneServices {
public:
    struct HelpPage {
        QString book, page, anchor;
    };

    explicit RecordingPaneServices(std::unique_ptr<PaneBundle> bundle);
    ~RecordingPaneServices() override;

    const PaneBundle& bundle() const override { return *bundle_; }
    bool openUrl(const QUrl& url) override;
    bool registerHelpBook(const PaneBundle& bundle) override;
    bool gotoHelpPage(const QString& book, const QString& page, const QString& anchor) override;
    void displayMapTypeAlert() override;
    void displayLinkFailure(const QUrl& url) override;
    MouseStatus mouseStatus() override;
    void setMouseStatus(const MouseStatus& status);

    std::vector<QUrl> openedUrls;
    bool urlsOpen = true; // what openUrl answers
    std::vector<QUrl> linkFailures;
    std::vector<QString> registeredHelpBooks; // bundle paths
    std::vector<HelpPage> helpPages;
    int alertCount = 0;
    // Runs while the alert is "shown", as the user's doing meanwhile.
    std::function<void()> whileAlertShown;

private:
    std::unique_ptr<PaneBundle> bundle_;
    std::mutex statusLock_; // the status is read on the pane's worker thread
    MouseStatus status_;
};

} // namespace zed
