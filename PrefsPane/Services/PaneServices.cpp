#include "PaneServices.h"

#include "DialogUtils.h"
#include "Platform/core/Log.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace zed {

namespace {
std::unique_ptr<PaneServices>& slot() {
    static std::unique_ptr<PaneServices> services;
    return services;
}
} // namespace

PaneServices::~PaneServices() = default;

PaneServices& PaneServices::current() {
    if (!slot()) {
        slot() = std::make_unique<DesktopPaneServices>(PaneBundle::main());
    }
    return *slot();
}

void PaneServices::install(std::unique_ptr<PaneServices> services) {
    slot() = std::move(services);
}

DesktopPaneServices::DesktopPaneServices(std::unique_ptr<PaneBundle> bundle)
    : bundle_(std::move(bundle)), probe_(Platform::current().kind()) {}

DesktopPaneServices::~DesktopPaneServices() = default;

bool DesktopPaneServices::openUrl(const QUrl& url) {
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool DesktopPaneServices::registerHelpBook(const PaneBundle& bundle) {
    const QString name = bundle.infoValue(QStringLiteral("CFBundleHelpBookName")).toString();
    const QString folder = bundle.infoValue(QStringLiteral("CFBundleHelpBookFolder")).toString();
    if (name.isEmpty() || folder.isEmpty()) {
        return false;
    }
    const QFileInfo book(QDir(bundle.path()).filePath(folder));
    if (!book.isDir()) {
        return false;
    }
    helpBooks_[name] = book.absoluteFilePath();
    return true;
}

bool DesktopPaneServices::gotoHelpPage(const QString& book, const QString& page,
                                       const QString& anchor) {
    const auto it = helpBooks_.find(book);
    if (it == helpBooks_.end()) {
        zed::log("the help book \"%s\" is not installed", qPrintable(book));
        return false;
    }
    // A page in the bundle's language, when the book has one, beside the English.
    const QDir folder(it->second);
    const QString localized = folder.filePath(bundle_->language() + QLatin1Char('/') + page);
    QUrl url = QUrl::fromLocalFile(bundle_->language() != QLatin1String("en") &&
                                           QFileInfo(localized).isFile()
                                       ? localized
                                       : folder.filePath(page));
    if (!anchor.isEmpty()) {
        url.setFragment(anchor);
    }
    if (!openUrl(url)) {
        displayLinkFailure(url);
        return false;
    }
    return true;
}

void DesktopPaneServices::displayMapTypeAlert() {
    DialogUtils::displayMapTypeAlert();
}

void DesktopPaneServices::displayLinkFailure(const QUrl& url) {
    DialogUtils::displayLinkFailure(url);
}

MouseStatus DesktopPaneServices::mouseStatus() {
    return probe_.probe();
}

} // namespace zed
