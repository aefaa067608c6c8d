// The pane's bundle: its information dictionary (the plug-in's metadata), the
// folder it was loaded from, and its localized strings.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <memory>
#include <vector>

namespace zed {

class PaneBundle {
public:
    // `path` is the bundle's folder; the strings are those of the first
    // language of `locale` that the bundle has, English otherwise, taken from
    // the compiled-in translations unless another folder is named. Every
    // strings file of that language in the folder is loaded, so each page of
    // the pane may bring its own.
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
    // Makes the strings the application's, so that the interface files'
    // texts are shown in the bundle's language; undone when the bundle goes.
    void installTranslations() const;
    // The compiled-in resource "name.type" (":/com.tovik.ZED/Resources/..."),
    // or the empty text when the bundle has none.
    QString pathForResource(const QString& name, const QString& type) const;
    QJsonValue infoValue(const QString& key) const { return info_.value(key); }
    QJsonObject info() const { return info_; }
    // The language whose strings were loaded ("en", "de", ...).
    QString language() const { return language_; }

private:
    QString path_;
    QJsonObject info_;
    // The strings files of the language, the pane's own first.
    std::vector<std::unique_ptr<QTranslator>> translators_;
    QString language_;
};

} // namespace zed
