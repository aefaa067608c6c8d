#include "ApplicationSwitch.h"

#include "Application.h"
#include "Platform/core/Log.h"
#include "Platform/core/SettingsKeys.h"
#include "Platform/dbus/Platform.h"
#include "Preferences.h"

#include <algorithm>
#include <set>

namespace sets = zed::settings;

void ApplicationSwitch::SetSets(std::vector<sets::SettingsSet> sets) {
    sets_ = std::move(sets);
    if (sets_.empty()) {
        inForce_ = -1;
        if (zed::RunLoop::now() < demandedUntil_) {
            return; // the pane still asks: the tracker stays
        }
        tracker_.reset();
        settle_.reset();
        settling_ = false;
        application_.clear();
        return;
    }
    inForce_ = sets::matchingSet(sets_, application_);
    std::string why;
    Track(&why);
}

bool ApplicationSwitch::Track(std::string* why) {
    if (tracker_) {
        return true;
    }
    tracker_ = zed::Platform::current().trackFocus(
        [this](const std::string& app) { FocusChanged(app); }, why);
    if (!tracker_ && !toldUntracked_) {
        toldUntracked_ = true;
        zed::logPlain("Settings per application stay off: %s. On GNOME, the ZED GNOME Shell "
                      "extension tells ZED which window is in front.",
                      why->c_str());
    }
    return tracker_ != nullptr;
}

zed::FrontApplication ApplicationSwitch::Front() {
    zed::FrontApplication front{true, {}, {}};
    demandedUntil_ = std::max(demandedUntil_, zed::RunLoop::now() + kDemandSeconds);
    if (!Track(&front.why)) {
        return front;
    }
    front.application = application_;
    if (front.application.empty()) {
        front.why = tracker_->whyUntold();
    }
    return front;
}

zed::Dictionary ApplicationSwitch::Effective(const zed::Dictionary& settings) const {
    return sets::withOverrides(settings, inForce_ < 0 ? nullptr : &sets_[inForce_]);
}

sets::SettingsSet* ApplicationSwitch::InForce() {
    return inForce_ < 0 ? nullptr : &sets_[static_cast<std::size_t>(inForce_)];
}

void ApplicationSwitch::FocusChanged(const std::string& application) {
    // A surface that is no application window keeps the set in force.
    if (application.empty()) {
        return;
    }
    application_ = application;
    if (settling_) {
        return; // within a burst: the last one counts, when it ends
    }
    // The first change of a burst switches at once; the rest of the burst
    // (alt-tab through windows) is one more switch when it has settled. The
    // spent timer is replaced by the next, never dropped while it runs.
    Switch();
    settle_ =
        zed::Platform::current().runLoop().addTimer(zed::RunLoop::now() + kSettleSeconds, [this] {
            settling_ = false;
            Switch();
        });
    settling_ = settle_ != nullptr;
}

void ApplicationSwitch::Switch() {
    const int next = sets::matchingSet(sets_, application_);
    if (next == inForce_) {
        return;
    }
    // The keys either set overrides, at their values with the new set in
    // force: the driver gets what changes and nothing reaches the disk.
    std::set<std::string> keys;
    for (int i : {inForce_, next}) {
        if (i >= 0) {
            for (const auto& [key, value] : sets_[static_cast<std::size_t>(i)].overrides) {
                keys.insert(key);
            }
        }
    }
    inForce_ = next;
    Application* app = Application::GetApp();
    if (!app->prefs) {
        return;
    }
    if (!stored_) {
        stored_ = Preferences::StoredSettings();
    }
    const zed::Dictionary effective = Effective(*stored_);
    zed::Dictionary changed;
    for (const std::string& key : keys) {
        if (const zed::Value* v = zed::lookup(effective, key)) {
            changed.emplace(key, *v);
        } else if (auto fallback = Preferences::AgentDefault(key)) {
            changed.emplace(key, std::move(*fallback)); // a key the domain lacks
        }
    }
    app->prefs->SendPrefsToDriver(&changed);
}
