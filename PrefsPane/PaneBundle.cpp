#include "PaneBundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <dlfcn.h>

namespace zed {

namespace {
const QString kStringsName = QStringLiteral("TovikCopperhound");
const QString kInfoResource = QStringLiteral(":/com.tovik.ZED/Info.json");

// Its address tells which loaded object holds the pane's code.
const char sAnchor = 0;
} // namespace

PaneBundle::PaneBundle(QString path, QJsonObject info, const QLocale& locale,
                       const QString& translations)
    : path_(std::move(path)), info_(std::move(info)) {
    // Tries each of the locale's languages, "de_AT" before "de"; then English.
    if (translator_.load(locale, kStringsName, QStringLiteral("_"), translations) ||
        translator_.load(kStringsName + QStringLiteral("_en"), translations)) {
        language_ = translator_.language();
    }
}

PaneBundle::~PaneBundle() = default;

std::unique_ptr<PaneBundle> PaneBundle::main() {
    return std::make_unique<PaneBundle>(defaultPath(), embeddedInfo());
}

QString PaneBundle::defaultPath() {
    Dl_info info{};
    if (dladdr(&sAnchor, &info) != 0 && info.dli_fname && *info.dli_fname) {
        return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteDir().absolutePath();
    }
    return QDir::currentPath();
}

QJsonObject PaneBundle::embeddedInfo() {
    QFile file(kInfoResource);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

QString PaneBundle::defaultTranslations() {
    return QStringLiteral(":/com.tovik.ZED/translations");
}

QString PaneBundle::identifier() const {
    return info_.value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString PaneBundle::localizedString(const char* key) const {
    // Id-based translations: the key is the message id, there is no context.
    return translator_.translate(nullptr, key);
}

} // namespace zed
