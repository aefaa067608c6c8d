// The pane with its real interface over settings files in a folder of the
// test's own, an in-process distributed center that keeps what was posted,
// and desktop services that open nothing.
#pragma once

#include "FakePlatform.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/PaneMainView.h"
#include "PrefsPane/Services/PaneServices.h"
#include "RecordingPaneServices.h"

#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace zed::test {

inline const std::string kDomain = "com.tovik.ZED";

struct Post {
    std::string name;
    std::string object;
    Dictionary userInfo;
};

// What the agent stores when it finds no settings (less the button mappings).
inline Dictionary agentDefaults() {
    return {{"Orientation", Value(std::int32_t{0})},
            {"Sensitivity", Value(10.0)},
            {"MasterSensitivityX", Value(10.0)},
            {"MasterSensitivityY", Value(10.0)},
            {"MasterSensitivityOn", Value(std::int32_t{1})},
            {"MasterAccel", Value(0.25)},
            {"MasterAccelOn", Value(std::int32_t{0})},
            {"Otfs", Value(std::int32_t{0})},
            {"OtfsOnScreen", Value(std::int32_t{1})},
            {"ScrollWheelSpeed", Value(10.0)},
            {"DblClickSpeed", Value(6.0)},
            {"Resolution", Value(std::int32_t{0})},
            {"NumButtons", Value(std::int32_t{7})}};
}

class PrefsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        ASSERT_TRUE(bundleDir.isValid());
        auto platform = makeFakePlatform();
        platform->setPreferences(std::make_unique<FilePreferenceDomains>(folder()));
        Platform::install(std::move(platform));
        PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
            bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::English))));
        Platform::current().distributedCenter().addObserver(
            this, "", "",
            [this](const std::string& name, const std::string& object, const Dictionary* info) {
                posts.push_back({name, object, info ? *info : Dictionary{}});
            });
    }

    void TearDown() override {
        pane.reset();
        PaneServices::install(nullptr);
        Platform::install(makeFakePlatform());
    }

    std::string folder() const { return config.path().toStdString(); }

    // The domain as another process reads it from disk now.
    Dictionary onDisk() const {
        FilePreferenceDomains files(folder());
        return files.persistentDomain(kDomain).value_or(Dictionary{});
    }
    const Value* onDisk(const char* key) {
        diskCopy_ = onDisk();
        return lookup(diskCopy_, key);
    }
    // Stores values as the agent does: merged into what is on disk.
    void storeAsAgent(const Dictionary& values) const {
        FilePreferenceDomains files(folder());
        files.setValues(kDomain, values);
        ASSERT_TRUE(files.synchronize(kDomain));
    }

    // The pane as the settings application shows it: view loaded, then selected.
    PaneMainView& showPane() {
        pane = makeTovikCopperhoundPane();
        auto* view = qobject_cast<PaneMainView*>(pane->loadMainView());
        pane->willSelect();
        EXPECT_NE(view, nullptr);
        return *view;
    }
    template <class T> T* control(const char* name) {
        T* found = pane->mainView()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QTemporaryDir config;
    QTemporaryDir bundleDir;
    std::unique_ptr<TovikCopperhoundPref> pane;
    std::vector<Post> posts;

private:
    Dictionary diskCopy_;
};

} // namespace zed::test
