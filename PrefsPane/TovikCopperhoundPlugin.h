// The plug-in's root object: the settings application creates the pane's
// principal object through it. Its metadata is the bundle's information
// dictionary.
#pragma once

#include "PrefsPane/Model/PreferencePane.h"

#include <QObject>

class TovikCopperhoundPlugin : public QObject, public PreferencePaneFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PreferencePaneFactory_iid FILE "resources/Info.json")
    Q_INTERFACES(PreferencePaneFactory)

public:
    std::unique_ptr<PreferencePane> createPane() override;
};
