// A pane world of fakes: in-memory preference domains, an in-process
// distributed center, recording desktop services, and logs of what was
// announced.
#pragma once

#include "FakePlatform.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Model/PaneNotificationCenter.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Services/PaneServices.h"
#include "RecordingPaneServices.h"

#include <QComboBox>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace zed::test {

inline const std::string kDomain = "com.tovik.ZED";

// The bytes of a text, for mapping data.
inline Data bytes(std::initializer_list<std::uint8_t> b) {
    return Data(b);
}
inline Data withText(std::uint8_t type, const std::string& text) {
    Data d{type};
    d.insert(d.end(), text.begin(), text.end());
    return d;
}

// Stored "ButtonMappings" with one-byte values of these types.
inline Value mappingsOf(std::initializer_list<std::uint8_t> types) {
    Array a;
    for (std::uint8_t t : types) {
        a.push_back(Value(Data{t}));
    }
    return Value(a);
}

// The model alone: its view is an empty widget, so that these tests need no
// page of the interface (tests/prefs and tests/buttons test those) and no
// page's dialog opens while they change mappings.
class ModelOnlyPane : public TovikCopperhoundPref {
protected:
    QObjectOwner<QWidget> makeMainView() override { return QObjectOwner<QWidget>::make(); }
};

struct Posted {
    std::string center; // "distributed" or "local"
    std::string name;
    std::string object;
    Dictionary dictionary;
    // What the domain held when the announcement went out.
    std::optional<Dictionary> storedThen;
};

class PaneTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bundleDir.isValid());
        Platform::install(makeFakePlatform());
        auto services = std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
            bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::English)));
        services_ = services.get();
        PaneServices::install(std::move(services));
        Platform::current().distributedCenter().addObserver(
            this, "", "",
            [this](const std::string& name, const std::string& object, const Dictionary* info) {
                posts.push_back(
                    {"distributed", name, object, info ? *info : Dictionary{}, storedNow()});
            });
        local_ = PaneNotificationCenter::defaultCenter().addObserver(
            kPrefsChangeNotification, [this](const PaneNotification& n) {
                const Dictionary* d = n.objectAs<Dictionary>();
                posts.push_back({"local", n.name(), "", d ? *d : Dictionary{}, storedNow()});
            });
    }

    void TearDown() override {
        local_.reset();
        pane.reset();
        PaneServices::install(nullptr);
        Platform::install(makeFakePlatform());
    }

    MemoryPreferenceDomains& memory() {
        return dynamic_cast<MemoryPreferenceDomains&>(Platform::current().preferences());
    }
    // The in-memory domain now; empty when another store is installed.
    std::optional<Dictionary> storedNow() {
        auto* m = dynamic_cast<MemoryPreferenceDomains*>(&Platform::current().preferences());
        return m ? m->stored(kDomain) : std::nullopt;
    }
    RecordingPaneServices& services() { return *services_; }

    // Stores a domain as another program would.
    void store(const Dictionary& d) {
        auto& prefs = Platform::current().preferences();
        prefs.replaceDomain(kDomain, d);
        prefs.synchronize(kDomain);
    }
    Dictionary stored() { return memory().stored(kDomain).value_or(Dictionary{}); }
    const Value* storedValue(const char* key) {
        storedCopy_ = stored();
        return lookup(storedCopy_, key);
    }

    // The pane as the settings application shows it: loaded, then selected.
    // The model is tested here on its own: the buttons page (tested with its
    // own tests) is detached, so no key panel opens and waits for a user.
    TovikCopperhoundPref& showPane() {
        pane = std::make_unique<ModelOnlyPane>();
        pane->loadMainView();
        pane->setButtonsController(nullptr);
        pane->willSelect();
        return *pane;
    }

    std::vector<int> mapTypes() {
        std::vector<int> types;
        for (ButtonMapping* m : pane->mappings()) {
            types.push_back(m->mapType());
        }
        return types;
    }

    // A mapping pop-up for a button: tag = index, items = map types 0-7.
    static std::unique_ptr<QComboBox> popUp(int tag) {
        auto box = std::make_unique<QComboBox>();
        for (int i = 0; i < 8; ++i) {
            box->addItem(QString::number(i));
        }
        box->setProperty("tag", tag);
        return box;
    }
    void choose(int button, int mapType) {
        auto box = popUp(button);
        box->setCurrentIndex(mapType);
        pane->doCurrentMappingChanged(box.get());
    }

    QTemporaryDir bundleDir;
    std::unique_ptr<TovikCopperhoundPref> pane;
    std::vector<Posted> posts;

private:
    RecordingPaneServices* services_ = nullptr;
    PaneNotificationCenter::Registration local_;
    Dictionary storedCopy_;
};

} // namespace zed::test
