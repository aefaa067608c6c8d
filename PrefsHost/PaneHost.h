// The settings application's side of a pane: finding and loading the pane's
// plug-in, and the window that shows the pane and tells it when it is
// selected and when it has been left.
#pragma once

#include "PrefsPane/Model/PreferencePane.h"

#include <QJsonObject>
#include <QLocale>
#include <QMainWindow>
#include <QPluginLoader>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>

namespace zed {

// The application's own texts in the user's language (English when it has
// none), installed while this object lives.
class HostStrings {
public:
    explicit HostStrings(const QLocale& locale = QLocale());
    ~HostStrings();
    HostStrings(const HostStrings&) = delete;
    HostStrings& operator=(const HostStrings&) = delete;

private:
    QTranslator translator_;
};

class PanePlugin {
public:
    PanePlugin();
    // The pane goes before its library might.
    ~PanePlugin();
    PanePlugin(const PanePlugin&) = delete;
    PanePlugin& operator=(const PanePlugin&) = delete;

    // Folders that hold panes, one folder per pane named like its library:
    // the build tree's beside the program, then the installed one.
    static QStringList paneFolders();
    // The first pane library found in those folders, or empty.
    static QString findPane();

    // Loads the library and creates the pane's principal object. False with
    // a message for the user (error()) when the library is missing, cannot be
    // loaded or is no pane.
    bool load(const QString& path);
    QString error() const { return error_; }

    PreferencePane* pane() const { return pane_.get(); }
    // The pane bundle's information dictionary (the plug-in's metadata).
    QJsonObject info() const;

private:
    QPluginLoader loader_;
    std::unique_ptr<PreferencePane> pane_;
    QString error_;
};

// Shows one pane: asks for its main view, tells it it is about to be shown,
// and that it was left when the window closes.
class PrefsWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit PrefsWindow(PreferencePane& pane, QWidget* parent = nullptr);
    ~PrefsWindow() override;

    // loadMainView, then willSelect, then the window appears.
    void showPane();
    bool isPaneSelected() const { return selected_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void unselect();
    // Sizes the window as the pane asks, within the screen; or only grows it.
    void fitPane(bool growOnly);

    PreferencePane& pane_;
    bool selected_ = false;
};

} // namespace zed
