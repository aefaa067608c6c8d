// Settings per application: follows the application in front and gives the
// driver the settings of the set that applies to it, without writing
// anything. Off (no tracking) until the settings hold a set.
#pragma once

#include "Platform/core/ApplicationSettings.h"
#include "Platform/core/Focus.h"
#include "Platform/core/RunLoop.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ApplicationSwitch {
public:
    // A focus change switches at once; more changes within this time (alt-tab
    // through windows) make one more switch, to where the focus settled.
    static constexpr double kSettleSeconds = 0.1;

    // The sets as stored; tracking starts with the first set and ends with
    // the last. Says once when the desktop cannot tell the window in front.
    void SetSets(std::vector<zed::settings::SettingsSet> sets);
    // The settings with the overrides of the set in force on top.
    zed::Dictionary Effective(const zed::Dictionary& settings) const;
    // The set in force, or null for the defaults.
    zed::settings::SettingsSet* InForce();
    const std::vector<zed::settings::SettingsSet>& Sets() const { return sets_; }

    // From the tracker.
    void FocusChanged(const std::string& application);
    // The stored settings changed (read again, or written by the agent): the
    // next switch reads them again; switches in between use what was read.
    void StoredChanged() { stored_.reset(); }

    // For the pane, which names a set's applications by the window in front:
    // follows the desktop on demand when no set does yet, for a while.
    static constexpr double kDemandSeconds = 60;
    zed::FrontApplication Front();

private:
    void Switch();
    // Starts following the desktop unless it does; says once when it cannot.
    bool Track(std::string* why);

    std::vector<zed::settings::SettingsSet> sets_;
    std::optional<zed::Dictionary> stored_;
    int inForce_ = -1;
    std::string application_; // in front, as last told
    std::unique_ptr<zed::FocusTracker> tracker_;
    zed::RunLoop::SourcePtr settle_;
    bool settling_ = false;
    bool toldUntracked_ = false;
    double demandedUntil_ = 0; // run-loop time; the tracker stays until then without sets
};
