#include "TovikCopperhoundPlugin.h"

#include "TovikCopperhoundPref.h"

std::unique_ptr<PreferencePane> TovikCopperhoundPlugin::createPane() {
    return std::make_unique<TovikCopperhoundPref>();
}
