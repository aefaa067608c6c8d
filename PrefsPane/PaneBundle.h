// The pane's bundle: its information dictionary (the plug-in's metadata), the
// folder it was loaded from, and its localized strings.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <memory>

namespace zed {

class PaneBundle {
public:
    // `path` is the bundle's folder; the strings are those of the first
    // language of `locale` that the bundle has, English otherwise, taken from
    // the compiled-in translations unless another folder is named.
    PaneBundle(QString path, QJsonObject info, const QLocale& locale = QLocale(),
               const QString& translations = defaultTranslations());
    ~PaneBundle();
    PaneBundle(const PaneBundle&) = delete;
    PaneBundle& operator=(const PaneBundle&) = delete;

    // The bundle of the code that is running: the folder of the library or
    // program holding this code, with the compiled-in information dictionary.
    static std::unique_ptr<PaneBundle> main();
    static QString defaultPath();
    static QJsonObject embeddedInfo();
    static QString defaultTranslations();

    QString identifier() const;
    QString path() const { return path_; }
    // The translation of the key, or the empty text when the bundle has none.
    QString localizedString(const char* key) const;
    QJsonValue infoValue(const QString& key) const { return info_.value(key); }
    QJsonObject info() const { return info_; }
    // The language whose strings were loaded ("en", "de", ...).
    QString language() const { return language_; }

private:
    QString path_;
    QJsonObject info_;
    QTranslator translator_;
    QString language_;
};

} // namespace zed
