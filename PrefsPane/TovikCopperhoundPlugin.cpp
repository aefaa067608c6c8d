#include "TovikCopperhoundPlugin.h"

#include "PaneMainView.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"

std::unique_ptr<PreferencePane> TovikCopperhoundPlugin::createPane() {
    return makeTovikCopperhoundPane();
}
