#include "TovikCopperhoundPref.h"

#include "PaneAssert.h"
#include "PaneNotificationCenter.h"
#include "Platform/core/SettingsKeys.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Services/PaneServices.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

namespace contract = zed::settings;
using contract::Key;

static_assert(static_cast<std::size_t>(TovikCopperhoundPref::kButtonCount) ==
              contract::kDefaultMappingTypes.size());

// The settings that the agent writes while the pane may be open.
const char* agentSensitivity(std::size_t i) {
    return contract::name(contract::kSensitivityKeys[i]);
}

// The agent's double-click setting runs the other way from the speed shown.
constexpr double kDblClickSpeedMirror = 10.0;

// An entry of a list of sets, and its overrides; null where there are none.
const zed::Dictionary* setEntry(const zed::Value* list, std::size_t k) {
    const zed::Array* a = list ? list->asArray() : nullptr;
    return a && k < a->size() ? (*a)[k].asDictionary() : nullptr;
}
const zed::Value* setOverride(const zed::Dictionary* entry, const char* key) {
    const zed::Value* o = entry ? zed::lookup(*entry, contract::kSetSettings) : nullptr;
    return o && o->asDictionary() ? zed::lookup(*o->asDictionary(), key) : nullptr;
}
bool sameValue(const zed::Value* a, const zed::Value* b) {
    return a == b || (a && b && *a == *b);
}

// The agent's steps into sets since the pane last saw the list (`seen`),
// taken from `onDisk` into the pane's list `mine`: a sensitivity of an entry
// that changed on disk and not in the pane. Entries are matched by place,
// while neither the pane nor another program added or removed one, and the
// one on disk still has the name seen. True when one was taken.
bool takeSetSteps(zed::Value& mine, const zed::Value* onDisk, const zed::Value* seen) {
    zed::Array* entries = mine.asArray();
    const zed::Array* disks = onDisk ? onDisk->asArray() : nullptr;
    const zed::Array* seens = seen ? seen->asArray() : nullptr;
    if (!entries || !disks || !seens || entries->size() != seens->size() ||
        disks->size() != seens->size()) {
        return false;
    }
    bool taken = false;
    for (std::size_t k = 0; k < entries->size(); ++k) {
        zed::Dictionary* entry = (*entries)[k].asDictionary();
        const zed::Dictionary *disk = setEntry(onDisk, k), *was = setEntry(seen, k);
        if (!entry || !disk || !was ||
            !sameValue(zed::lookup(*was, contract::kSetName),
                       zed::lookup(*disk, contract::kSetName))) {
            continue;
        }
        for (std::size_t i = 0; i < contract::kSensitivityKeys.size(); ++i) {
            const char* key = agentSensitivity(i);
            const zed::Value* stepped = setOverride(disk, key);
            if (stepped && stepped->toDouble() && !sameValue(stepped, setOverride(was, key)) &&
                sameValue(setOverride(entry, key), setOverride(was, key))) {
                zed::Value& overrides = (*entry)[contract::kSetSettings];
                if (!overrides.asDictionary()) {
                    overrides = zed::Value(zed::Dictionary{});
                }
                overrides.asDictionary()->insert_or_assign(key, *stepped);
                taken = true;
            }
        }
    }
    return taken;
}

} // namespace

// ButtonMapping

ButtonMapping::ButtonMapping() = default;

ButtonMapping::ButtonMapping(std::span<const std::uint8_t> data) {
    parse(data, 0);
}

ButtonMapping::ButtonMapping(std::span<const std::uint8_t> data, Nesting nesting) {
    parse(data, nesting.depth);
}

ButtonMapping::~ButtonMapping() = default;

void ButtonMapping::parse(std::span<const std::uint8_t> data, int depth) {
    adopt(zed::buttons::parse(data, depth));
}

void ButtonMapping::adopt(zed::buttons::Mapping&& mapping) {
    fMapType = mapping.type;
    fKeys = std::move(mapping.keys);
    fMacro = std::move(mapping.macro);
    if (mapping.advanced) {
        fAdvMapping = std::make_unique<ButtonMapping>();
        fAdvMapping->adopt(std::move(*mapping.advanced));
        fAdvMapping->fOwner = this;
    }
}

zed::buttons::Mapping ButtonMapping::toMapping() const {
    zed::buttons::Mapping mapping{fMapType, fKeys, fMacro, nullptr};
    if (fAdvMapping) {
        mapping.advanced = std::make_unique<zed::buttons::Mapping>(fAdvMapping->toMapping());
    }
    return mapping;
}

std::unique_ptr<ButtonMapping> ButtonMapping::fromStoredValue(const zed::Value& stored) {
    auto mapping = std::make_unique<ButtonMapping>();
    if (const zed::Data* data = stored.asData()) {
        zed::buttons::Read read = zed::buttons::read(*data);
        mapping->adopt(std::move(read.mapping));
        if (read.exact) {
            return mapping;
        }
    }
    mapping->fStoredForm = stored;
    return mapping;
}

zed::Data ButtonMapping::toData() const {
    return zed::buttons::format(toMapping());
}

bool ButtonMapping::accepts(int mapType) const {
    if (fDetached) {
        return true; // checked when the copy is assigned
    }
    const TovikCopperhoundPref* pane = model();
    return pane && pane->isValidMapType(mapType, this);
}

void ButtonMapping::setMapType(int mapType) {
    if (!accepts(mapType)) {
        return;
    }
    fMapType = mapType;
    edited();
    const QPointer<ButtonMapping> self(this);
    if (TovikCopperhoundPref* pane = model()) {
        pane->notifyMappingPrefsChange();
    }
    if (self) {
        emit mapTypeChanged(fMapType);
    }
}

void ButtonMapping::setKeys(std::string keys) {
    fKeys = std::move(keys);
    edited();
    const QPointer<ButtonMapping> self(this);
    if (TovikCopperhoundPref* pane = model()) {
        pane->notifyMappingPrefsChange();
    }
    if (self) {
        emit keysChanged();
    }
}

void ButtonMapping::setMacro(std::string macro) {
    fMacro = std::move(macro);
    edited();
    const QPointer<ButtonMapping> self(this);
    if (TovikCopperhoundPref* pane = model()) {
        pane->notifyMappingPrefsChange();
    }
    if (self) {
        emit macroChanged();
    }
}

bool ButtonMapping::setKeyList(int mapType, std::string keyList) {
    if (!accepts(mapType)) {
        return false;
    }
    fMapType = mapType;
    (mapType == kKeyMacro ? fMacro : fKeys) = std::move(keyList);
    changed();
    return true;
}

std::unique_ptr<ButtonMapping> ButtonMapping::detachedCopy() const {
    auto copy = std::make_unique<ButtonMapping>();
    copy->fDetached = true;
    copy->copyFrom(*this);
    return copy;
}

bool ButtonMapping::assign(const ButtonMapping& edited) {
    if (&edited == this || !accepts(edited.fMapType)) {
        return false;
    }
    copyFrom(edited);
    changed();
    return true;
}

void ButtonMapping::copyFrom(const ButtonMapping& from) {
    fMapType = from.fMapType;
    fKeys = from.fKeys;
    fMacro = from.fMacro;
    // Built before it replaces ours: `from` may be nested in this record.
    std::unique_ptr<ButtonMapping> adv;
    if (from.fAdvMapping) {
        adv = std::make_unique<ButtonMapping>();
        adv->fDetached = fDetached;
        adv->fModel = fModel;
        adv->copyFrom(*from.fAdvMapping);
        adv->fOwner = this;
    }
    fAdvMapping = std::move(adv);
    fStoredForm.reset();
}

void ButtonMapping::changed() {
    edited();
    const QPointer<ButtonMapping> self(this);
    if (TovikCopperhoundPref* pane = model()) {
        pane->notifyMappingPrefsChange();
    }
    if (self) {
        emit mapTypeChanged(fMapType);
        emit keysChanged();
        emit macroChanged();
    }
}

ButtonMapping* ButtonMapping::advMapping() {
    if (!fAdvMapping) {
        fAdvMapping = std::make_unique<ButtonMapping>();
        fAdvMapping->fOwner = this;
        fAdvMapping->fDetached = fDetached;
        fAdvMapping->fModel = fModel;
    }
    return fAdvMapping.get();
}

void ButtonMapping::setModel(TovikCopperhoundPref* model) {
    for (ButtonMapping* m = this; m; m = m->fAdvMapping.get()) {
        m->fModel = model;
    }
}

TovikCopperhoundPref* ButtonMapping::model() const {
    return fDetached ? nullptr : fModel.data();
}

void ButtonMapping::edited() {
    for (ButtonMapping* m = this; m; m = m->fOwner) {
        m->fStoredForm.reset();
    }
}

// ButtonMappingSupport

namespace ButtonMappingSupport {

ButtonMappingList mappingArray(const zed::Array& data) {
    ButtonMappingList mappings;
    mappings.reserve(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        mappings.push_back(mappingAtIndex(data, static_cast<std::int32_t>(i)));
    }
    return mappings;
}

zed::Array mappingDataArray(const ButtonMappingList& mappings) {
    zed::Array data;
    data.reserve(mappings.size());
    for (const auto& mapping : mappings) {
        addMapping(data, mapping.get());
    }
    return data;
}

std::unique_ptr<ButtonMapping> mappingAtIndex(const zed::Array& data, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= data.size()) {
        return std::make_unique<ButtonMapping>();
    }
    return ButtonMapping::fromStoredValue(data[static_cast<std::size_t>(index)]);
}

void addMapping(zed::Array& data, const QObject* mapping) {
    const auto* record = qobject_cast<const ButtonMapping*>(mapping);
    ZED_PANE_ASSERT(record != nullptr, "[mapping isKindOfClass:[ButtonMapping class]]");
    if (record->storedForm()) {
        data.push_back(*record->storedForm());
    } else {
        data.push_back(zed::Value(record->toData()));
    }
}

} // namespace ButtonMappingSupport

// TovikCopperhoundPref

TovikCopperhoundPref::TovikCopperhoundPref(QObject* parent) : PreferencePane(parent) {}

TovikCopperhoundPref::~TovikCopperhoundPref() {
    // The view and its pages go first: they still read the settings.
    destroyMainView();
}

QWidget* TovikCopperhoundPref::loadMainView() {
    initPrefs();
    zed::PaneServices& services = zed::PaneServices::current();
    const zed::PaneBundle& bundle = services.bundle();
    if (QFileInfo(bundle.path()).isDir()) {
        services.registerHelpBook(bundle);
    }
    return PreferencePane::loadMainView();
}

zed::QObjectOwner<QWidget> TovikCopperhoundPref::makeMainView() {
    zed::PaneServices::current().bundle().installTranslations();
    return fViewFactory ? fViewFactory(this) : zed::QObjectOwner<QWidget>::make();
}

void TovikCopperhoundPref::willSelect() {
    initPrefs();
    setOrientation(orientation());
}

void TovikCopperhoundPref::didUnselect() {
    destroyPrefs();
}

void TovikCopperhoundPref::initPrefs() {
    if (fPrefs) {
        return;
    }
    fBundleId = zed::PaneServices::current().bundle().identifier().toStdString();
    if (auto stored = zed::Platform::current().preferences().persistentDomain(fBundleId)) {
        fPrefs = std::move(*stored);
    } else {
        const contract::KeyInfo& orientation = contract::info(Key::kOrientation);
        fPrefs = zed::Dictionary{
            {orientation.name, contract::storedNumber(orientation, orientation.pane.number)}};
    }

    fSelectedSet = -1;
    loadMappings();
    rememberStoredSensitivities();
    watchDomain();
    emit settingsChanged();
}

void TovikCopperhoundPref::loadMappings() {
    ButtonMappingList mappings;
    if (const zed::Value* stored = setting(contract::name(Key::kButtonMappings))) {
        if (const zed::Array* array = stored->asArray()) {
            mappings = ButtonMappingSupport::mappingArray(*array);
        }
    }
    // Every button has a record, however short the stored list.
    while (mappings.size() < static_cast<std::size_t>(kButtonCount)) {
        mappings.push_back(std::make_unique<ButtonMapping>());
    }
    for (const auto& mapping : mappings) {
        mapping->setModel(this);
    }
    fMappings = std::move(mappings);
    fCurrMapping = fMappings->front().get();
}

void TovikCopperhoundPref::destroyPrefs() {
    fSelectedSet = -1;
    fDomainWatcher.reset();
    fChangedKeys.clear();
    fStoredSens = {};
    fPrefs.reset();
    fCurrMapping = nullptr;
    fMappings.reset();
}

void TovikCopperhoundPref::notifyPrefsChange() {
    if (save()) {
        emit settingsChanged();
    }
}

bool TovikCopperhoundPref::save() {
    if (!fPrefs) {
        return false;
    }
    zed::Platform& platform = zed::Platform::current();
    // Only the keys the pane changed go over what is stored now, under the
    // domain's writer lock: whatever another program (the agent's steps,
    // zed-defaults) stored meanwhile stays, and nothing stored between the
    // read and the write is lost. The file is written (so on disk before
    // the agent hears of it) and still holds every key.
    std::optional<zed::Dictionary> merged;
    const bool written = platform.preferences().update(
        fBundleId, [this, &merged](std::optional<zed::Dictionary> stored) {
            zed::Dictionary next = stored ? std::move(*stored) : zed::Dictionary{};
            for (const std::string& key : fChangedKeys) {
                if (const zed::Value* mine = zed::lookup(*fPrefs, key)) {
                    zed::Value value = *mine;
                    if (key == contract::kApplicationSettingsKey) {
                        // The pane's list, with the agent's steps since.
                        takeSetSteps(value, zed::lookup(next, key),
                                     fStoredSets ? &*fStoredSets : nullptr);
                    }
                    next.insert_or_assign(key, std::move(value));
                } else {
                    next.erase(key);
                }
            }
            merged = next;
            return std::optional<zed::Dictionary>(std::move(next));
        });
    bool taken = false;
    if (written && merged) {
        fChangedKeys.clear();
        // The pane's copy becomes what was written: the agent and the pages
        // are told what is on disk, others' keys included.
        taken = *merged != *fPrefs;
        fPrefs = std::move(*merged);
        rememberStoredSensitivities();
    }
    platform.distributedCenter().post(contract::kNotificationName, contract::kNotificationObject,
                                      &*fPrefs, true);
    // A copy: an observer may change or drop the settings while others are
    // still being told.
    zed::PaneNotificationCenter::defaultCenter().post(zed::kPrefsChangeNotification,
                                                      zed::Dictionary(*fPrefs));
    return taken;
}

void TovikCopperhoundPref::notifyMappingPrefsChange() {
    if (!fPrefs || !fMappings) {
        return;
    }
    putSetting(contract::name(Key::kButtonMappings),
               zed::Value(ButtonMappingSupport::mappingDataArray(*fMappings)));
    notifyPrefsChange();
}

// Settings

int TovikCopperhoundPref::intSetting(Key key) const {
    const contract::KeyInfo& info = contract::info(key);
    if (fPrefs) {
        if (const zed::Value* v = setting(info.name)) {
            if (auto i = v->toInt32()) {
                return *i;
            }
        }
    }
    return static_cast<int>(info.pane.number);
}

double TovikCopperhoundPref::doubleSetting(Key key) const {
    const contract::KeyInfo& info = contract::info(key);
    if (fPrefs) {
        if (const zed::Value* v = setting(info.name)) {
            if (auto d = v->toDouble()) {
                return *d;
            }
        }
    }
    return info.pane.number;
}

void TovikCopperhoundPref::setSetting(Key key, double number) {
    const contract::KeyInfo& info = contract::info(key);
    setSetting(info.name, contract::storedNumber(info, number));
}

void TovikCopperhoundPref::setSetting(const char* key, zed::Value value) {
    if (!fPrefs) {
        return;
    }
    putSetting(key, std::move(value));
    save();
    emit settingsChanged();
}

void TovikCopperhoundPref::putSetting(const char* key, zed::Value value) {
    if (fSelectedSet >= 0 && contract::mayOverride(key)) {
        if (zed::Dictionary* entry = storedSetEntry(fSelectedSet)) {
            zed::Value& overrides = (*entry)[contract::kSetSettings];
            if (!overrides.asDictionary()) {
                overrides = zed::Value(zed::Dictionary{});
            }
            overrides.asDictionary()->insert_or_assign(key, std::move(value));
            fChangedKeys.insert(contract::kApplicationSettingsKey);
        }
        return;
    }
    fPrefs->insert_or_assign(key, std::move(value));
    fChangedKeys.insert(key);
}

// Settings per application

const zed::Value* TovikCopperhoundPref::setting(std::string_view key) const {
    if (!fPrefs) {
        return nullptr;
    }
    if (fSelectedSet >= 0) {
        const zed::Value* list = zed::lookup(*fPrefs, contract::kApplicationSettingsKey);
        const auto sets = contract::readSets(list);
        if (static_cast<std::size_t>(fSelectedSet) < sets.size() &&
            sets[static_cast<std::size_t>(fSelectedSet)].overrides.count(key) > 0) {
            // The checked value, as it stands in the pane's copy.
            const zed::Value& entry =
                (*list->asArray())[sets[static_cast<std::size_t>(fSelectedSet)].storedIndex];
            return zed::lookup(
                *zed::lookup(*entry.asDictionary(), contract::kSetSettings)->asDictionary(), key);
        }
    }
    return zed::lookup(*fPrefs, key);
}

std::vector<contract::SettingsSet> TovikCopperhoundPref::applicationSets() const {
    return fPrefs ? contract::readSets(zed::lookup(*fPrefs, contract::kApplicationSettingsKey))
                  : std::vector<contract::SettingsSet>{};
}

std::optional<contract::SettingsSet> TovikCopperhoundPref::selected() const {
    const auto sets = applicationSets();
    if (fSelectedSet < 0 || static_cast<std::size_t>(fSelectedSet) >= sets.size()) {
        return std::nullopt;
    }
    return sets[static_cast<std::size_t>(fSelectedSet)];
}

zed::Dictionary* TovikCopperhoundPref::storedSetEntry(int index) {
    const auto sets = applicationSets();
    if (index < 0 || static_cast<std::size_t>(index) >= sets.size()) {
        return nullptr;
    }
    zed::Value* list = &(*fPrefs)[contract::kApplicationSettingsKey];
    return (*list->asArray())[sets[static_cast<std::size_t>(index)].storedIndex].asDictionary();
}

void TovikCopperhoundPref::selectSet(int index) {
    const int count = static_cast<int>(applicationSets().size());
    const int next = index >= 0 && index < count ? index : -1;
    if (!fPrefs || next == fSelectedSet) {
        return;
    }
    fSelectedSet = next;
    loadMappings();
    emit applicationSetsChanged();
    emit settingsChanged();
    // The buttons page shows the mappings of the set.
    zed::PaneNotificationCenter::defaultCenter().post(zed::kPrefsChangeNotification,
                                                      zed::Dictionary(*fPrefs));
}

int TovikCopperhoundPref::addApplicationSet(const std::string& name,
                                            const std::vector<std::string>& applications) {
    if (!fPrefs) {
        return -1;
    }
    zed::Array* sets =
        fPrefs->try_emplace(contract::kApplicationSettingsKey, zed::Value(zed::Array{}))
            .first->second.asArray();
    if (!sets) {
        return -1; // what is stored there is not ours to replace
    }
    zed::Array apps;
    for (const std::string& a : applications) {
        apps.emplace_back(a);
    }
    sets->push_back(
        zed::Value(zed::Dictionary{{contract::kSetName, zed::Value(name)},
                                   {contract::kSetApplications, zed::Value(apps)},
                                   {contract::kSetSettings, zed::Value(zed::Dictionary{})}}));
    fChangedKeys.insert(contract::kApplicationSettingsKey);
    const int index = static_cast<int>(applicationSets().size()) - 1;
    setsEdited();
    return index;
}

void TovikCopperhoundPref::removeApplicationSet(int index) {
    const auto sets = applicationSets();
    if (!fPrefs || index < 0 || static_cast<std::size_t>(index) >= sets.size()) {
        return;
    }
    zed::Array* list = (*fPrefs)[contract::kApplicationSettingsKey].asArray();
    list->erase(list->begin() +
                static_cast<std::ptrdiff_t>(sets[static_cast<std::size_t>(index)].storedIndex));
    fChangedKeys.insert(contract::kApplicationSettingsKey);
    const int wasSelected = fSelectedSet;
    if (fSelectedSet == index) {
        fSelectedSet = -1;
    } else if (fSelectedSet > index) {
        --fSelectedSet;
    }
    if (wasSelected == index) {
        loadMappings();
    }
    setsEdited();
    if (wasSelected == index) {
        zed::PaneNotificationCenter::defaultCenter().post(zed::kPrefsChangeNotification,
                                                          zed::Dictionary(*fPrefs));
    }
}

void TovikCopperhoundPref::renameApplicationSet(int index, const std::string& name) {
    if (zed::Dictionary* entry = fPrefs ? storedSetEntry(index) : nullptr) {
        entry->insert_or_assign(contract::kSetName, zed::Value(name));
        fChangedKeys.insert(contract::kApplicationSettingsKey);
        setsEdited();
    }
}

void TovikCopperhoundPref::setSetApplications(int index,
                                              const std::vector<std::string>& applications) {
    if (zed::Dictionary* entry = fPrefs ? storedSetEntry(index) : nullptr) {
        zed::Array apps;
        for (const std::string& a : applications) {
            apps.emplace_back(a);
        }
        entry->insert_or_assign(contract::kSetApplications, zed::Value(std::move(apps)));
        fChangedKeys.insert(contract::kApplicationSettingsKey);
        setsEdited();
    }
}

void TovikCopperhoundPref::setsEdited() {
    save();
    // The save may bring others' changes of the list: the selection stays
    // where it can.
    if (fSelectedSet >= static_cast<int>(applicationSets().size())) {
        fSelectedSet = -1;
        loadMappings();
    }
    emit applicationSetsChanged();
    emit settingsChanged();
}

namespace {
// A setting's property is its key with a lower-case first letter.
std::string keyOfProperty(const QString& property) {
    std::string key = property.toStdString();
    if (!key.empty()) {
        key[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
    }
    return key;
}
} // namespace

bool TovikCopperhoundPref::mayDiffer(const QString& property) const {
    return contract::mayOverride(keyOfProperty(property));
}

bool TovikCopperhoundPref::isOverridden(const QString& property) const {
    const auto set = selected();
    return set && set->overrides.count(keyOfProperty(property)) > 0;
}

void TovikCopperhoundPref::resetOverride(const QString& property) {
    const std::string key = keyOfProperty(property);
    zed::Dictionary* entry =
        fPrefs && isOverridden(property) ? storedSetEntry(fSelectedSet) : nullptr;
    const auto overrides =
        entry ? entry->find(contract::kSetSettings) : zed::Dictionary::iterator{};
    if (!entry || overrides == entry->end() || !overrides->second.asDictionary()) {
        return;
    }
    overrides->second.asDictionary()->erase(key);
    fChangedKeys.insert(contract::kApplicationSettingsKey);
    if (key == contract::name(Key::kButtonMappings)) {
        loadMappings();
    }
    save();
    emit applicationSetsChanged();
    emit settingsChanged();
    if (key == contract::name(Key::kButtonMappings)) {
        zed::PaneNotificationCenter::defaultCenter().post(zed::kPrefsChangeNotification,
                                                          zed::Dictionary(*fPrefs));
    }
}

// Sensitivities stored by the agent

void TovikCopperhoundPref::rememberStoredSensitivities() {
    for (std::size_t i = 0; i < contract::kSensitivityKeys.size(); ++i) {
        const zed::Value* v = fPrefs ? zed::lookup(*fPrefs, agentSensitivity(i)) : nullptr;
        fStoredSens[i] = v ? std::optional<zed::Value>(*v) : std::nullopt;
    }
    const zed::Value* sets =
        fPrefs ? zed::lookup(*fPrefs, contract::kApplicationSettingsKey) : nullptr;
    fStoredSets = sets ? std::optional<zed::Value>(*sets) : std::nullopt;
}

bool TovikCopperhoundPref::takeAgentSensitivities() {
    if (!fPrefs) {
        return false;
    }
    const auto stored = zed::Platform::current().preferences().persistentDomain(fBundleId);
    if (!stored || !takeSensitivities(*stored)) {
        return false;
    }
    emit settingsChanged();
    return true;
}

bool TovikCopperhoundPref::takeSensitivities(const zed::Dictionary& stored) {
    bool taken = false;
    for (std::size_t i = 0; i < contract::kSensitivityKeys.size(); ++i) {
        if (fChangedKeys.count(agentSensitivity(i)) > 0) {
            continue; // the user's own change, not saved yet, wins for its key
        }
        const zed::Value* onDisk = zed::lookup(stored, agentSensitivity(i));
        // The agent writes numbers; anything else is not its step.
        if (!onDisk || !onDisk->toDouble() || (fStoredSens[i] && *fStoredSens[i] == *onDisk)) {
            continue;
        }
        fPrefs->insert_or_assign(agentSensitivity(i), *onDisk);
        fStoredSens[i] = *onDisk;
        taken = true;
    }
    const auto list = fPrefs->find(contract::kApplicationSettingsKey);
    const zed::Value* onDisk = zed::lookup(stored, contract::kApplicationSettingsKey);
    if (list != fPrefs->end() && onDisk && !fChangedKeys.count(contract::kApplicationSettingsKey) &&
        takeSetSteps(list->second, onDisk, fStoredSets ? &*fStoredSets : nullptr)) {
        fStoredSets = *onDisk;
        taken = true;
    }
    return taken;
}

void TovikCopperhoundPref::watchDomain() {
    const QString file =
        QString::fromStdString(zed::Platform::current().preferences().storagePath(fBundleId));
    if (file.isEmpty()) {
        return; // domains that are no files change only through this process
    }
    fDomainWatcher = std::make_unique<QFileSystemWatcher>();
    // Every write replaces the file (a new one renamed over it), so the
    // folder is watched as well as the file of the moment.
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(folder);
    fDomainWatcher->addPath(folder);
    if (QFileInfo::exists(file)) {
        fDomainWatcher->addPath(file);
    }
    const auto changed = [this, file] {
        if (!fDomainWatcher) {
            return;
        }
        if (QFileInfo::exists(file) && !fDomainWatcher->files().contains(file)) {
            fDomainWatcher->addPath(file);
        }
        takeAgentSensitivities();
    };
    connect(fDomainWatcher.get(), &QFileSystemWatcher::directoryChanged, this, changed);
    connect(fDomainWatcher.get(), &QFileSystemWatcher::fileChanged, this, changed);
}

int TovikCopperhoundPref::orientation() const {
    return intSetting(Key::kOrientation);
}
void TovikCopperhoundPref::setOrientation(int value) {
    setSetting(Key::kOrientation, value);
}
double TovikCopperhoundPref::sensitivity() const {
    return doubleSetting(Key::kSensitivity);
}
void TovikCopperhoundPref::setSensitivity(double value) {
    setSetting(Key::kSensitivity, value);
}
int TovikCopperhoundPref::otfs() const {
    return intSetting(Key::kOtfs);
}
void TovikCopperhoundPref::setOtfs(int value) {
    setSetting(Key::kOtfs, value);
}
int TovikCopperhoundPref::otfsOnScreen() const {
    return intSetting(Key::kOtfsOnScreen);
}
void TovikCopperhoundPref::setOtfsOnScreen(int value) {
    setSetting(Key::kOtfsOnScreen, value);
}
double TovikCopperhoundPref::dblClickSpeed() const {
    // An absent setting reads the fallback as it is (0), not mirrored (10).
    const contract::KeyInfo& info = contract::info(Key::kDblClickSpeed);
    if (fPrefs) {
        if (const zed::Value* v = zed::lookup(*fPrefs, info.name)) {
            if (auto d = v->toDouble()) {
                return kDblClickSpeedMirror - *d;
            }
        }
    }
    return info.pane.number;
}
void TovikCopperhoundPref::setDblClickSpeed(double value) {
    setSetting(Key::kDblClickSpeed, kDblClickSpeedMirror - value);
}
std::optional<int> TovikCopperhoundPref::doubleClickInterval() const {
    const zed::Value* v =
        fPrefs ? zed::lookup(*fPrefs, contract::name(Key::kDblClickSpeed)) : nullptr;
    const std::optional<double> tenths = v ? v->toDouble() : std::nullopt;
    if (!tenths || std::isnan(*tenths)) {
        return std::nullopt;
    }
    // Tenths of a second, as the agent hands the setting to the desktop.
    const double ms =
        std::clamp(*tenths * 100.0, 0.0, static_cast<double>(std::numeric_limits<int>::max()));
    return static_cast<int>(std::lround(ms));
}
int TovikCopperhoundPref::masterSensitivityOn() const {
    return intSetting(Key::kMasterSensitivityOn);
}
void TovikCopperhoundPref::setMasterSensitivityOn(int value) {
    // Separate X and Y start from the sensitivity in use, not from whatever
    // they were when last used: the pointer keeps its speed at the switch.
    if (value == 0 && fPrefs && masterSensitivityOn() != 0) {
        const double current = sensitivity();
        for (const Key axis : {Key::kMasterSensitivityX, Key::kMasterSensitivityY}) {
            const contract::KeyInfo& info = contract::info(axis);
            putSetting(info.name, contract::storedNumber(info, current));
        }
    }
    setSetting(Key::kMasterSensitivityOn, value);
}
double TovikCopperhoundPref::masterSensitivityX() const {
    return doubleSetting(Key::kMasterSensitivityX);
}
void TovikCopperhoundPref::setMasterSensitivityX(double value) {
    setSetting(Key::kMasterSensitivityX, value);
}
double TovikCopperhoundPref::masterSensitivityY() const {
    return doubleSetting(Key::kMasterSensitivityY);
}
void TovikCopperhoundPref::setMasterSensitivityY(double value) {
    setSetting(Key::kMasterSensitivityY, value);
}
double TovikCopperhoundPref::pointerSpeed() const {
    return doubleSetting(Key::kPointerSpeed);
}
void TovikCopperhoundPref::setPointerSpeed(double value) {
    setSetting(Key::kPointerSpeed, value);
}
int TovikCopperhoundPref::masterAccelOn() const {
    return intSetting(Key::kMasterAccelOn);
}
void TovikCopperhoundPref::setMasterAccelOn(int value) {
    setSetting(Key::kMasterAccelOn, value);
}
double TovikCopperhoundPref::masterAccel() const {
    return doubleSetting(Key::kMasterAccel);
}
void TovikCopperhoundPref::setMasterAccel(double value) {
    setSetting(Key::kMasterAccel, value);
}
int TovikCopperhoundPref::resolution() const {
    return intSetting(Key::kResolution);
}
void TovikCopperhoundPref::setResolution(int value) {
    setSetting(Key::kResolution, value);
}
double TovikCopperhoundPref::scrollWheelSpeed() const {
    return doubleSetting(Key::kScrollWheelSpeed);
}
void TovikCopperhoundPref::setScrollWheelSpeed(double value) {
    setSetting(Key::kScrollWheelSpeed, value);
}

QVariantMap TovikCopperhoundPref::settingRange(const QString& property) const {
    // A setting's property is its key with a lower-case first letter.
    for (const contract::KeyInfo& info : contract::kKeys) {
        QString name = QString::fromLatin1(info.name);
        name[0] = name[0].toLower();
        if (name != property || !info.range) {
            continue;
        }
        contract::Range shown = *info.range;
        if (info.key == Key::kDblClickSpeed) {
            shown = {kDblClickSpeedMirror - info.range->max, kDblClickSpeedMirror - info.range->min,
                     info.range->step};
        }
        return {{QStringLiteral("minimum"), shown.min},
                {QStringLiteral("maximum"), shown.max},
                {QStringLiteral("step"), shown.step}};
    }
    return {};
}

// Mappings

ButtonMapping* TovikCopperhoundPref::currentMapping() const {
    ZED_PANE_ASSERT(fCurrMapping != nullptr, "fCurrMapping != NULL");
    return fCurrMapping;
}

ButtonMapping* TovikCopperhoundPref::buttonMapping(int index) const {
    ZED_PANE_ASSERT(fMappings.has_value(), "fMappings != NULL");
    return (*fMappings)[static_cast<std::size_t>(index)].get();
}

std::vector<ButtonMapping*> TovikCopperhoundPref::mappings() const {
    std::vector<ButtonMapping*> out;
    if (fMappings) {
        for (const auto& m : *fMappings) {
            out.push_back(m.get());
        }
    }
    return out;
}

bool TovikCopperhoundPref::isValidMapType(int mapType, const ButtonMapping* mapping) const {
    if (!fMappings) {
        return false;
    }
    for (const auto& m : *fMappings) {
        const int type = m.get() == mapping ? mapType : m->mapType();
        if (type == ButtonMapping::kPrimaryClick) {
            return true;
        }
    }
    return false;
}

// Actions

void TovikCopperhoundPref::doCurrentMappingChanged(QObject* sender) {
    const auto* popUp = qobject_cast<const QComboBox*>(sender);
    if (!popUp || !fMappings) {
        return;
    }
    bool tagged = false;
    const int tag = popUp->property("tag").toInt(&tagged);
    if (!tagged || tag < 0 || static_cast<std::size_t>(tag) >= fMappings->size()) {
        return;
    }
    fCurrMapping = (*fMappings)[static_cast<std::size_t>(tag)].get();
    const int mapType = popUp->currentIndex();
    if (mapType < 0) {
        return; // nothing chosen
    }

    if (isValidMapType(mapType, fCurrMapping)) {
        const char* panel = panelAction(mapType);
        if (!panel || !fButtonsController) {
            fCurrMapping->setMapType(mapType);
            return;
        }
        // The panel stores the type with its keys when confirmed; cancelled,
        // it leaves the mapping as it was, and nothing is saved or told.
        const QPointer<ButtonMapping> chosen(fCurrMapping);
        sendToButtonsController(panel);
        if (chosen) {
            // The pop-up shows the type the mapping has now.
            emit chosen->mapTypeChanged(chosen->mapType());
        }
        return;
    }

    // The alert runs a nested event loop: the pane may be left or closed meanwhile.
    const QPointer<TovikCopperhoundPref> self(this);
    const QPointer<ButtonMapping> refused(fCurrMapping);
    zed::PaneServices::current().displayMapTypeAlert();
    if (!self || !refused || fCurrMapping != refused) {
        return;
    }
    // Store the unchanged type again so that its pop-up shows it again. When
    // even that is refused (no button has the primary click), there is
    // nothing to save, but the pop-up must still be set back.
    const int unchanged = fCurrMapping->mapType();
    if (isValidMapType(unchanged, fCurrMapping)) {
        fCurrMapping->setMapType(unchanged);
    } else {
        emit fCurrMapping->mapTypeChanged(unchanged);
    }
}

void TovikCopperhoundPref::restoreDefaults() {
    if (!fPrefs || !fMappings) {
        return;
    }
    // The defaults are those for all applications; the sets stay as they are.
    if (fSelectedSet >= 0) {
        fSelectedSet = -1;
        emit applicationSetsChanged();
    }
    for (const contract::KeyInfo& info : contract::kKeys) {
        if (info.agent.source == contract::AgentDefault::Source::kNumber) {
            fPrefs->insert_or_assign(info.name, contract::storedNumber(info, info.agent.number));
            fChangedKeys.insert(info.name);
        }
    }
    ButtonMappingList mappings;
    for (const std::uint8_t type : contract::kDefaultMappingTypes) {
        mappings.push_back(
            std::make_unique<ButtonMapping>(std::span<const std::uint8_t>(&type, 1)));
    }
    for (const auto& mapping : mappings) {
        mapping->setModel(this);
    }
    fMappings = std::move(mappings);
    fCurrMapping = fMappings->front().get();
    notifyMappingPrefsChange();
    // The pages show the settings again, as after any setter.
    emit settingsChanged();
}

void TovikCopperhoundPref::doTovikSite(QObject*) {
    openLocalizedUrl("TOVIK_ZED_SITE_URL");
}

void TovikCopperhoundPref::doTovikUpdate(QObject*) {
    openLocalizedUrl("TOVIK_ZED_UPDATE_URL");
}

void TovikCopperhoundPref::doTovikHelp(QObject*) {
    zed::PaneServices& services = zed::PaneServices::current();
    const QString book =
        services.bundle().infoValue(QStringLiteral("CFBundleHelpBookName")).toString();
    services.gotoHelpPage(book, QStringLiteral("index.htm"), QString());
}

void TovikCopperhoundPref::openLocalizedUrl(const char* key) {
    zed::PaneServices& services = zed::PaneServices::current();
    const QUrl url(services.bundle().localizedString(key), QUrl::StrictMode);
    // A missing or malformed address opens nothing, and says so as a
    // failure to open does.
    if (!url.isValid() || url.isRelative() || !services.openUrl(url)) {
        services.displayLinkFailure(url);
    }
}

const char* TovikCopperhoundPref::panelAction(int mapType) {
    switch (mapType) {
    case ButtonMapping::kKeyCombination:
        return "doAssignKey";
    case ButtonMapping::kKeyMacro:
        return "doMacroConfig";
    case ButtonMapping::kAdvanced:
        return "doAdvancedConfig";
    default:
        return nullptr;
    }
}

void TovikCopperhoundPref::sendToButtonsController(const char* action) {
    if (fButtonsController) {
        QMetaObject::invokeMethod(fButtonsController, action, Qt::DirectConnection,
                                  Q_ARG(QObject*, this));
    }
}
