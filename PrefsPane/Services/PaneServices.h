// What the pane needs of the desktop besides the preference domain and the
// notifications: its bundle, opening web pages, the help book, the alerts,
// and the state of the mouse and the agent. Tests install one that records.
#pragma once

#include "PaneBundle.h"
#include "Platform/dbus/MouseStatus.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace zed {

class PaneServices {
public:
    virtual ~PaneServices();

    // The installed services; the desktop's on first use.
    static PaneServices& current();
    static void install(std::unique_ptr<PaneServices> services);

    virtual const PaneBundle& bundle() const = 0;
    // Opens the URL with the desktop's handler; false when that failed.
    virtual bool openUrl(const QUrl& url) = 0;
    // Makes the bundle's help book known by its name; false when it has none.
    virtual bool registerHelpBook(const PaneBundle& bundle) = 0;
    // Opens a page of a registered help book (in the bundle's language when
    // the book has that page in a folder named like the language); false when
    // it cannot.
    virtual bool gotoHelpPage(const QString& book, const QString& page, const QString& anchor) = 0;
    // Shows the refusal of a map-type choice; returns once it was dismissed.
    virtual void displayMapTypeAlert() = 0;
    // Says that a web or help page could not be opened, and why.
    virtual void displayLinkFailure(const QUrl& url) = 0;
    // Whether the driver runs, serves a mouse, and the agent runs. Blocks for
    // up to a few seconds, so it runs on a worker thread, one call at a time.
    virtual MouseStatus mouseStatus() = 0;
};

// Web pages and help pages through the desktop's URL handler; the help book
// is a folder of HTML pages inside the bundle.
class DesktopPaneServices : public PaneServices {
public:
    explicit DesktopPaneServices(std::unique_ptr<PaneBundle> bundle);
    ~DesktopPaneServices() override;

    const PaneBundle& bundle() const override { return *bundle_; }
    bool openUrl(const QUrl& url) override;
    bool registerHelpBook(const PaneBundle& bundle) override;
    bool gotoHelpPage(const QString& book, const QString& page, const QString& anchor) override;
    void displayMapTypeAlert() override;
    void displayLinkFailure(const QUrl& url) override;
    MouseStatus mouseStatus() override;

private:
    std::unique_ptr<PaneBundle> bundle_;
    MouseStatusProbe probe_;
    std::map<QString, QString> helpBooks_; // name -> folder
};

} // namespace zed
