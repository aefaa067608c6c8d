// The pane's settings model: the user's mouse settings loaded from the shared
// preference domain, one property per setting, the seven button mappings, and
// the save that writes the whole domain back and tells the agent and the
// pane's pages at once.
#pragma once

#include "Platform/core/ApplicationSettings.h"
#include "Platform/core/ButtonMappings.h"
#include "Platform/core/SettingsKeys.h"
#include "Platform/core/Value.h"
#include "PreferencePane.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

class TovikCopperhoundPref;

// One button's mapping, kept in step with the pane model, and its stored form
// ("mapping data", read and written by Platform/core/ButtonMappings.h).
class ButtonMapping : public QObject {
    Q_OBJECT
    Q_PROPERTY(int mapType READ mapType WRITE setMapType NOTIFY mapTypeChanged)

public:
    // Map types are the positions of the items of a button's mapping menu.
    static constexpr int kPrimaryClick = zed::buttons::kPrimaryClick;
    static constexpr int kKeyCombination = zed::buttons::kKeyCombination;
    static constexpr int kKeyMacro = zed::buttons::kKeyMacro;
    static constexpr int kAdvanced = zed::buttons::kAdvanced;
    static constexpr int kOnTheFlySensitivity = zed::buttons::kOnTheFlySensitivity;
    static constexpr int kMaxNesting = zed::buttons::kMaxNesting;

    // A primary click without key lists.
    ButtonMapping();
    // Parses mapping data; an empty value reads as a primary click.
    explicit ButtonMapping(std::span<const std::uint8_t> data);
    // How deep a nested advanced mapping lies; for the parser only.
    struct Nesting {
        int depth;
    };
    ButtonMapping(std::span<const std::uint8_t> data, Nesting nesting);
    ~ButtonMapping() override;

    // A record for one element of a stored "ButtonMappings" array. Anything
    // the record cannot reproduce byte for byte (not data at all, empty,
    // nested too deep, not ASCII, bytes the type does not use) is kept as it
    // was stored, and written back so until the record is changed.
    static std::unique_ptr<ButtonMapping> fromStoredValue(const zed::Value& stored);

    zed::Data toData() const;

    int mapType() const { return fMapType; }
    // Asks the pane model whether this record may take the type; only then
    // stores it and has the model save. Without a pane model nothing changes.
    void setMapType(int mapType);

    const std::optional<std::string>& keys() const { return fKeys; }
    void setKeys(std::string keys);
    const std::optional<std::string>& macro() const { return fMacro; }
    void setMacro(std::string macro);

    // A dialog's OK: the type (a key combination or key macro) and its key
    // list, stored with one save. Asks the pane model as setMapType does;
    // false, with nothing changed, when the type is refused.
    bool setKeyList(int mapType, std::string keyList);

    // A copy for a dialog to edit: its setters ask and tell no pane model,
    // so nothing is saved while the dialog is open, and a cancelled dialog
    // just drops it.
    std::unique_ptr<ButtonMapping> detachedCopy() const;
    bool isDetached() const { return fDetached; }
    // The dialog's OK: takes the type, key lists and advanced mapping of the
    // edited copy, with one save. Asks the pane model as setMapType does;
    // false, with nothing changed, when the type is refused.
    bool assign(const ButtonMapping& edited);

    // The advanced mapping, created as a primary click on first use.
    ButtonMapping* advMapping();
    bool hasAdvMapping() const { return fAdvMapping != nullptr; }
    // The advanced mapping when there is one; never creates it.
    const ButtonMapping* advancedMapping() const { return fAdvMapping.get(); }

    // The stored value written back instead of toData() (see fromStoredValue).
    const std::optional<zed::Value>& storedForm() const { return fStoredForm; }

    // The pane model this record (and its advanced mapping) asks and saves
    // through; the model sets itself on the records it holds. A record
    // without one, or whose model is gone, changes nothing.
    void setModel(TovikCopperhoundPref* model);

signals:
    void mapTypeChanged(int mapType);
    void keysChanged();
    void macroChanged();

private:
    void parse(std::span<const std::uint8_t> data, int depth);
    // Takes the fields of a mapping read, its second mapping as a record
    // nested in this one.
    void adopt(zed::buttons::Mapping&& mapping);
    zed::buttons::Mapping toMapping() const;
    // A change by the user: this record and the ones it is nested in no
    // longer stand for what was stored.
    void edited();
    // Whether the pane model lets this record take the type; a detached
    // copy takes any.
    bool accepts(int mapType) const;
    // After a change: saves through the pane model (unless detached) and
    // tells the observers.
    void changed();
    void copyFrom(const ButtonMapping& from);
    // The model to save through: none for a detached copy.
    TovikCopperhoundPref* model() const;

    std::int32_t fMapType = kPrimaryClick;
    std::optional<std::string> fKeys;
    std::optional<std::string> fMacro;
    std::unique_ptr<ButtonMapping> fAdvMapping;
    ButtonMapping* fOwner = nullptr; // the record this one is the advanced mapping of
    std::optional<zed::Value> fStoredForm;
    bool fDetached = false;
    QPointer<TovikCopperhoundPref> fModel;
};

using ButtonMappingList = std::vector<std::unique_ptr<ButtonMapping>>;

// Conversions between a stored "ButtonMappings" array and the pane's records.
namespace ButtonMappingSupport {
// One record per element, in order.
ButtonMappingList mappingArray(const zed::Array& data);
// One mapping data value per record, in order.
zed::Array mappingDataArray(const ButtonMappingList& mappings);
// A new record for the element at index; a primary click when there is none.
std::unique_ptr<ButtonMapping> mappingAtIndex(const zed::Array& data, std::int32_t index);
// Appends the record's stored form; anything but a ButtonMapping is a
// programming error.
void addMapping(zed::Array& data, const QObject* mapping);
} // namespace ButtonMappingSupport

class QFileSystemWatcher;

class TovikCopperhoundPref : public PreferencePane {
    Q_OBJECT
    Q_PROPERTY(int orientation READ orientation WRITE setOrientation NOTIFY settingsChanged)
    Q_PROPERTY(double sensitivity READ sensitivity WRITE setSensitivity NOTIFY settingsChanged)
    Q_PROPERTY(int otfs READ otfs WRITE setOtfs NOTIFY settingsChanged)
    Q_PROPERTY(int otfsOnScreen READ otfsOnScreen WRITE setOtfsOnScreen NOTIFY settingsChanged)
    Q_PROPERTY(
        double dblClickSpeed READ dblClickSpeed WRITE setDblClickSpeed NOTIFY settingsChanged)
    Q_PROPERTY(int masterSensitivityOn READ masterSensitivityOn WRITE setMasterSensitivityOn NOTIFY
                   settingsChanged)
    Q_PROPERTY(double masterSensitivityX READ masterSensitivityX WRITE setMasterSensitivityX NOTIFY
                   settingsChanged)
    Q_PROPERTY(double masterSensitivityY READ masterSensitivityY WRITE setMasterSensitivityY NOTIFY
                   settingsChanged)
    Q_PROPERTY(double pointerSpeed READ pointerSpeed WRITE setPointerSpeed NOTIFY settingsChanged)
    Q_PROPERTY(int masterAccelOn READ masterAccelOn WRITE setMasterAccelOn NOTIFY settingsChanged)
    Q_PROPERTY(double masterAccel READ masterAccel WRITE setMasterAccel NOTIFY settingsChanged)
    Q_PROPERTY(int resolution READ resolution WRITE setResolution NOTIFY settingsChanged)
    Q_PROPERTY(double scrollWheelSpeed READ scrollWheelSpeed WRITE setScrollWheelSpeed NOTIFY
                   settingsChanged)
    Q_PROPERTY(ButtonMapping* currentMapping READ currentMapping)
    Q_PROPERTY(ButtonMapping* button1Mapping READ button1Mapping)
    Q_PROPERTY(ButtonMapping* button2Mapping READ button2Mapping)
    Q_PROPERTY(ButtonMapping* button3Mapping READ button3Mapping)
    Q_PROPERTY(ButtonMapping* button4Mapping READ button4Mapping)
    Q_PROPERTY(ButtonMapping* button5Mapping READ button5Mapping)
    Q_PROPERTY(ButtonMapping* button6Mapping READ button6Mapping)
    Q_PROPERTY(ButtonMapping* button7Mapping READ button7Mapping)

public:
    static constexpr int kButtonCount = 7;

    explicit TovikCopperhoundPref(QObject* parent = nullptr);
    ~TovikCopperhoundPref() override;

    // Builds the main view of the pane's pages; without one the main view is
    // empty (the model alone).
    using ViewFactory = std::function<zed::QObjectOwner<QWidget>(TovikCopperhoundPref*)>;
    void setViewFactory(ViewFactory factory) { fViewFactory = std::move(factory); }

    QWidget* loadMainView() override;
    // Loads the settings and saves them once, so that the agent and the
    // pages start from what the pane shows.
    void willSelect() override;
    void didUnselect() override;

    // Loads the settings unless they are loaded.
    void initPrefs();
    void destroyPrefs();
    bool isLoaded() const { return fPrefs.has_value(); }
    // The settings dictionary as it will be saved; empty while not loaded.
    const std::optional<zed::Dictionary>& prefs() const { return fPrefs; }

    // Writes the keys the pane changed over what the domain holds now,
    // flushes it, then announces the result to the agent and to the pane's
    // pages. Nothing while not loaded.
    void notifyPrefsChange();

    // The agent stores the three sensitivities after each on-the-fly step
    // while the pane may be open. Takes those it changed on disk since the
    // pane last read or wrote them into the pane's copy. Runs when the domain
    // file changes, so that the pages show the steps; each save takes every
    // key that others stored, under the domain's writer lock, so that it
    // never writes an older value over a newer one. True when some value was
    // taken.
    bool takeAgentSensitivities();
    // Stores the mappings into the dictionary, then saves.
    void notifyMappingPrefsChange();

    int orientation() const;
    void setOrientation(int value);
    double sensitivity() const;
    void setSensitivity(double value);
    int otfs() const;
    void setOtfs(int value);
    int otfsOnScreen() const;
    void setOtfsOnScreen(int value);
    // Shown as a speed; stored as 10 minus the speed.
    double dblClickSpeed() const;
    void setDblClickSpeed(double value);
    // The double-click time in milliseconds that the stored setting gives
    // the desktop; empty when none (or no number) is stored.
    std::optional<int> doubleClickInterval() const;
    int masterSensitivityOn() const;
    void setMasterSensitivityOn(int value);
    double masterSensitivityX() const;
    void setMasterSensitivityX(double value);
    double masterSensitivityY() const;
    void setMasterSensitivityY(double value);
    double pointerSpeed() const;
    void setPointerSpeed(double value);
    int masterAccelOn() const;
    void setMasterAccelOn(int value);
    double masterAccel() const;
    void setMasterAccel(double value);
    int resolution() const;
    void setResolution(int value);
    double scrollWheelSpeed() const;
    void setScrollWheelSpeed(double value);

    // The range the controls of a setting offer, from the settings table, as
    // the property shows the value (the double-click speed mirrored):
    // {"minimum", "maximum", "step"}; empty for a property without one. The
    // settings binder sets sliders and value boxes to it.
    Q_INVOKABLE QVariantMap settingRange(const QString& property) const;

    // The mapping being edited; the pane must be loaded.
    ButtonMapping* currentMapping() const;
    ButtonMapping* button1Mapping() const { return buttonMapping(0); }
    ButtonMapping* button2Mapping() const { return buttonMapping(1); }
    ButtonMapping* button3Mapping() const { return buttonMapping(2); }
    ButtonMapping* button4Mapping() const { return buttonMapping(3); }
    ButtonMapping* button5Mapping() const { return buttonMapping(4); }
    ButtonMapping* button6Mapping() const { return buttonMapping(5); }
    ButtonMapping* button7Mapping() const { return buttonMapping(6); }
    // All records (seven, or more when more were stored); empty while not loaded.
    std::vector<ButtonMapping*> mappings() const;

    // Whether, with `mapping` (the very object) taking `mapType`, some listed
    // button would still have the primary click.
    bool isValidMapType(int mapType, const ButtonMapping* mapping) const;

    // Settings per application. The sets are those of the stored list that
    // can be read (zed::settings::readSets), by their place in it. While one
    // is selected, the getters answer the settings with its overrides on
    // top, the setters of settings a set may override store into it (the
    // others stay the same for all applications), and the button mappings
    // are the set's. The list's other sets and fields are kept as stored.
    std::vector<zed::settings::SettingsSet> applicationSets() const;
    // -1: the settings for all applications.
    int selectedSet() const { return fSelectedSet; }
    // Shows the set's settings (or all applications' for -1, or a set that
    // is not there); nothing is saved.
    void selectSet(int index);
    // Appends a set, saved; its place, or -1 when the stored list is not a
    // list (it is kept as it is).
    int addApplicationSet(const std::string& name, const std::vector<std::string>& applications);
    void removeApplicationSet(int index);
    void renameApplicationSet(int index, const std::string& name);
    void setSetApplications(int index, const std::vector<std::string>& applications);
    // Whether a set may have its own value of the property's setting.
    Q_INVOKABLE bool mayDiffer(const QString& property) const;
    // Whether the selected set has its own value of it.
    Q_INVOKABLE bool isOverridden(const QString& property) const;
    // The selected set takes the value for all applications again.
    Q_INVOKABLE void resetOverride(const QString& property);

    // The buttons page; it is sent doAssignKey, doMacroConfig and
    // doAdvancedConfig (each taking the sender as QObject*).
    QObject* buttonsController() const { return fButtonsController; }
    void setButtonsController(QObject* controller) { fButtonsController = controller; }

signals:
    // Some setting has a new value: set through the pane, loaded, or taken
    // from the agent.
    void settingsChanged();
    // The sets, their names or applications, or the selection changed.
    void applicationSetsChanged();

public slots:
    // From a button's mapping pop-up (a QComboBox): its "tag" property is the
    // button's index 0-6, its current index the chosen map type.
    void doCurrentMappingChanged(QObject* sender);
    void doTovikSite(QObject* sender = nullptr);
    void doTovikUpdate(QObject* sender = nullptr);
    // Puts back the settings the agent starts a new user with: every key it
    // sets to a number, and its button mappings, saved and announced once. The
    // acceleration amount, which the agent takes from the desktop, and keys
    // the pane does not know stay as they are.
    void restoreDefaults();
    void doTovikHelp(QObject* sender = nullptr);

protected:
    // The view factory's view, with the bundle's strings installed first.
    zed::QObjectOwner<QWidget> makeMainView() override;

private:
    ButtonMapping* buttonMapping(int index) const;
    // The save: under the domain's writer lock, puts the keys the pane
    // changed over what is stored and takes the result as the pane's copy;
    // then announces exactly that. True when the result holds values that
    // were not the pane's.
    bool save();
    bool takeSensitivities(const zed::Dictionary& stored);
    // What the domain holds of the sensitivities now that the pane's copy
    // was read or written.
    void rememberStoredSensitivities();
    void watchDomain();
    // The setting as the pages show it: the selected set's override, else
    // the stored value; null for neither.
    const zed::Value* setting(std::string_view key) const;
    // The selected set, read from the pane's copy; none for all applications.
    std::optional<zed::settings::SettingsSet> selected() const;
    // The stored list's entry of the set at `index`, or null.
    zed::Dictionary* storedSetEntry(int index);
    // Stores the value where the pages show it from: into the selected set
    // when it may differ, else for all applications. Not saved yet.
    void putSetting(const char* key, zed::Value value);
    // After a change of the list: saves and tells.
    void setsEdited();
    // The records of the mappings the pages show, every button with one.
    void loadMappings();
    // A setting's number, or the pane's fallback for the key.
    int intSetting(zed::settings::Key key) const;
    double doubleSetting(zed::settings::Key key) const;
    // Stores the number as the key's type, then saves.
    void setSetting(zed::settings::Key key, double number);
    void setSetting(const char* key, zed::Value value);
    void openLocalizedUrl(const char* key);
    // The buttons page's action that opens the dialog of a map type, or null.
    static const char* panelAction(int mapType);
    void sendToButtonsController(const char* action);

    std::optional<zed::Dictionary> fPrefs;
    std::string fBundleId;
    std::optional<ButtonMappingList> fMappings;
    ButtonMapping* fCurrMapping = nullptr; // one of fMappings
    QPointer<QObject> fButtonsController;
    // "Sensitivity", "MasterSensitivityX", "MasterSensitivityY" as last read
    // or written by the pane; absent when the domain had none.
    std::array<std::optional<zed::Value>, 3> fStoredSens;
    // The list of sets as last read or written by the pane, for the agent's
    // steps into a set made since.
    std::optional<zed::Value> fStoredSets;
    std::unique_ptr<QFileSystemWatcher> fDomainWatcher;
    // Keys the pane set (or restored) since its last write: the only ones a
    // save puts over what another program may have stored.
    std::set<std::string, std::less<>> fChangedKeys;
    ViewFactory fViewFactory;
    int fSelectedSet = -1;
};
