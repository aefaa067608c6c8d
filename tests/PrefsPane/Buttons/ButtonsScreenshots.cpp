// Draws the buttons page and the macro panel (with a recorded macro) as PNG
// files for the documentation: buttons_screenshots OUTPUT_FOLDER. Runs on the
// offscreen platform; not part of the tests.
#include "FakePlatform.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Buttons/ButtonsController.h"
#include "PrefsPane/Buttons/ButtonsPage.h"
#include "PrefsPane/Buttons/KeyInputPanel.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/PaneMainView.h"
#include "PrefsPane/Services/PaneServices.h"
#include "RecordingPaneServices.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: buttons_screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    zed::Platform::install(zed::makeFakePlatform());
    QTemporaryDir bundleDir;
    zed::PaneServices::install(
        std::make_unique<zed::RecordingPaneServices>(std::make_unique<zed::PaneBundle>(
            bundleDir.path(), zed::PaneBundle::embeddedInfo(), QLocale(QLocale::English))));
    auto& prefs = zed::Platform::current().preferences();
    zed::Array mappings;
    for (std::uint8_t type : {0, 1, 7, 4, 5, 3, 5}) {
        mappings.push_back(zed::Value(zed::Data{type}));
    }
    const std::string macro = "568,512,256,312";
    zed::Data macroData{4};
    macroData.insert(macroData.end(), macro.begin(), macro.end());
    mappings[3] = zed::Value(macroData);
    prefs.replaceDomain("com.tovik.ZED", {{"Orientation", zed::Value(std::int32_t{0})},
                                          {"ButtonMappings", zed::Value(mappings)}});

    auto pane = makeTovikCopperhoundPane();
    pane->initPrefs();
    auto container = std::make_unique<QWidget>();
    container->resize(640, 440);
    AttachButtonsPage(container.get(), pane.get());
    pane->willSelect();
    container->show();
    QApplication::processEvents();
    bool ok = container->grab().save(out.filePath(QStringLiteral("buttons-page.png")));

    auto* controller = qobject_cast<ButtonsController*>(pane->buttonsController());
    QComboBox* button4 = nullptr;
    for (QComboBox* box : container->findChildren<QComboBox*>()) {
        if (box->property("tag").toInt() == 3 && box->count() == 8) {
            button4 = box;
        }
    }
    if (!controller || !button4) {
        return 1;
    }
    QTimer::singleShot(0, [&] {
        KeyInputPanel* panel = controller->macroPanel();
        panel->setRecording(true); // as while the keys are typed
        panel->adjustSize();
        QApplication::processEvents();
        ok = panel->grab().save(out.filePath(QStringLiteral("macro-panel.png"))) && ok;
        controller->applyMacroConfig();
    });
    pane->doCurrentMappingChanged(button4);
    container.reset();
    pane.reset();
    return ok ? 0 : 1;
}
