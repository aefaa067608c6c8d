// What the settings application sees of a pane: a principal object that it
// creates through the plug-in's factory, asks for its main view, and tells
// when the pane is about to be shown and when it has been left.
#pragma once

#include "PrefsPane/Services/QObjectOwner.h"

#include <QObject>
#include <QWidget>
#include <QtPlugin>
#include <memory>

// Kept free of Q_OBJECT and defined inline, so that the application and every
// plug-in share the interface without sharing a library.
class PreferencePane : public QObject {
public:
    explicit PreferencePane(QObject* parent = nullptr) : QObject(parent) {}
    ~PreferencePane() override = default;

    // Loads the interface on first use and returns its main view. The
    // application may re-parent the view; it stays owned by the pane.
    virtual QWidget* loadMainView() {
        if (!mainView_) {
            mainView_ = makeMainView();
        }
        return mainView_.get();
    }
    virtual void willSelect() {}
    virtual void didUnselect() {}
    QWidget* mainView() const { return mainView_.get(); }

protected:
    // Builds the pane's interface; the plain base gives an empty view.
    virtual zed::QObjectOwner<QWidget> makeMainView() { return zed::QObjectOwner<QWidget>::make(); }
    // For a pane whose view reads the pane: lets it go while the pane is whole.
    void destroyMainView() { mainView_.reset(); }

private:
    zed::QObjectOwner<QWidget> mainView_;
};

// The root object of a pane plug-in (QPluginLoader::instance()).
class PreferencePaneFactory {
public:
    virtual ~PreferencePaneFactory() = default;
    // A new principal object; the caller owns it and must destroy it before
    // the plug-in is unloaded.
    virtual std::unique_ptr<PreferencePane> createPane() = 0;
};

#define PreferencePaneFactory_iid "com.tovik.ZED.PreferencePaneFactory/1"
Q_DECLARE_INTERFACE(PreferencePaneFactory, PreferencePaneFactory_iid)
