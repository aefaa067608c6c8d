#include "PaneBundle.h"

#include <QCoreApplication>
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
    // The pane's own strings decide the language: each of the locale's
    // languages, "de_AT" before "de"; then English.
    auto own = std::make_unique<QTranslator>();
    if (!own->load(locale, kStringsName, QStringLiteral("_"), translations) &&
        !own->load(kStringsName + QStringLiteral("_en"), translations)) {
        return;
    }
    const QString ownFile = QFileInfo(own->filePath()).fileName();
    language_ = own->language();
    translators_.push_back(std::move(own));

    // Then every other strings file of that language, whichever page it is for.
    const QString suffix = QStringLiteral("_") +
                           QFileInfo(ownFile).completeBaseName().section(QLatin1Char('_'), 1) +
                           QStringLiteral(".qm");
    const QStringList files =
        QDir(translations).entryList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        if (file == ownFile) {
            continue;
        }
        auto page = std::make_unique<QTranslator>();
        if (page->load(file, translations)) {
            translators_.push_back(std::move(page));
        }
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
    for (const auto& translator : translators_) {
        QString text = translator->translate(nullptr, key);
        if (!text.isNull()) {
            return text;
        }
    }
    return {};
}

void PaneBundle::installTranslations() const {
    for (const auto& translator : translators_) {
        // Installing again moves it to the front; each is installed once.
        QCoreApplication::removeTranslator(translator.get());
        QCoreApplication::installTranslator(translator.get());
    }
}

QString PaneBundle::pathForResource(const QString& name, const QString& type) const {
    const QString path =
        QStringLiteral(":/com.tovik.ZED/Resources/") + name + QLatin1Char('.') + type;
    return QFile::exists(path) ? path : QString();
}

} // namespace zed
