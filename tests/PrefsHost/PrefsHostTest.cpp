// The settings application's side: finding and loading the pane, and telling
// it, in the platform's order, that it is loaded, about to be shown and left.
#include "PrefsHost/PaneHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

class RecordingPane : public PreferencePane {
public:
    QWidget* loadMainView() override {
        calls << "loadMainView";
        return PreferencePane::loadMainView();
    }
    void willSelect() override {
        // The view exists and is not yet on the screen.
        calls << (mainView() && !mainView()->isVisible() ? "willSelect" : "willSelect too late");
    }
    void didUnselect() override { calls << "didUnselect"; }
    QStringList calls;

protected:
    QObjectOwner<QWidget> makeMainView() override { return QObjectOwner<QLabel>::make("pane"); }
};

// The window.

TEST(PrefsWindow, LoadsThenSelectsThenShowsThePane) {
    RecordingPane pane;
    PrefsWindow window(pane);
    window.showPane();
    EXPECT_EQ(pane.calls, (QStringList{"loadMainView", "willSelect"}));
    EXPECT_EQ(window.centralWidget(), pane.mainView());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isPaneSelected());
}

// A view that asks for a size, as a pane's page does for its pictures and
// controls.
class WantingView : public QWidget {
public:
    QSize wanted;
    QSize sizeHint() const override { return wanted; }
};

// A pane whose view asks for its size once it is selected, as the buttons
// page does when its pictures arrive with the first save.
class SizedPane : public PreferencePane {
public:
    explicit SizedPane(QSize wanted) : wanted_(wanted) {}
    void willSelect() override {
        static_cast<WantingView*>(mainView())->wanted = wanted_;
        mainView()->updateGeometry();
    }

protected:
    QObjectOwner<QWidget> makeMainView() override { return QObjectOwner<WantingView>::make(); }

private:
    QSize wanted_;
};

TEST(PrefsWindow, IsAsLargeAsThePaneAsksOnceSelected) {
    // Taller than the two thirds of the screen a new window gets by itself.
    const QSize screen = QGuiApplication::primaryScreen()->availableSize();
    SizedPane pane(QSize(screen.width() / 2, screen.height() * 4 / 5));
    PrefsWindow window(pane);
    window.showPane();
    EXPECT_GE(window.height(), screen.height() * 4 / 5);
    EXPECT_LE(window.height(), screen.height());

    // More than the screen holds: the window fits the screen, the pane scrolls.
    SizedPane huge(screen * 2);
    PrefsWindow large(huge);
    large.showPane();
    EXPECT_LE(large.width(), screen.width());
    EXPECT_LE(large.height(), screen.height());
}

TEST(PrefsWindow, ClosingUnselectsOnce) {
    RecordingPane pane;
    {
        PrefsWindow window(pane);
        window.showPane();
        EXPECT_TRUE(window.close());
        window.close();
        EXPECT_FALSE(window.isPaneSelected());
    }
    EXPECT_EQ(pane.calls, (QStringList{"loadMainView", "willSelect", "didUnselect"}));
    // The view stays the pane's after its window is gone.
    EXPECT_NE(pane.mainView(), nullptr);
}

TEST(PrefsWindow, WindowDestroyedWithoutClosingStillUnselects) {
    RecordingPane pane;
    auto window = std::make_unique<PrefsWindow>(pane);
    window->showPane();
    window.reset();
    EXPECT_EQ(pane.calls.last(), "didUnselect");
}

TEST(PrefsWindow, QuitKeyClosesIt) {
    RecordingPane pane;
    PrefsWindow window(pane);
    window.showPane();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(pane.calls.last(), "didUnselect");
}

// The plug-in.

TEST(PanePlugin, MissingLibraryGivesAMessage) {
    const HostStrings strings(QLocale(QLocale::English));
    PanePlugin plugin;
    EXPECT_FALSE(plugin.load("/nowhere/TovikCopperhound.so"));
    EXPECT_EQ(plugin.pane(), nullptr);
    EXPECT_TRUE(plugin.error().contains("/nowhere/TovikCopperhound.so"));
}

TEST(PanePlugin, NoLibraryFoundNamesTheFoldersSearched) {
    const HostStrings strings(QLocale(QLocale::English));
    PanePlugin plugin;
    EXPECT_FALSE(plugin.load({}));
    EXPECT_TRUE(plugin.error().startsWith("No settings pane was found."))
        << plugin.error().toStdString();
    for (const QString& folder : PanePlugin::paneFolders()) {
        EXPECT_TRUE(plugin.error().contains(folder)) << folder.toStdString();
    }
}

TEST(PanePlugin, MessagesAreInTheUsersLanguage) {
    const HostStrings strings(QLocale(QLocale::German));
    PanePlugin plugin;
    EXPECT_FALSE(plugin.load("/nowhere/x.so"));
    EXPECT_TRUE(plugin.error().startsWith("Der Einstellungsbereich /nowhere/x.so"))
        << plugin.error().toStdString();
}

TEST(PanePlugin, BrokenLibraryGivesAMessage) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("Broken.so");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x7f"
               "ELF but not really");
    file.close();
    PanePlugin plugin;
    EXPECT_FALSE(plugin.load(path));
    EXPECT_FALSE(plugin.error().isEmpty());
    EXPECT_EQ(plugin.pane(), nullptr);
}

TEST(PanePlugin, FindsThePaneOfTheBuildTree) {
    EXPECT_EQ(PanePlugin::findPane(), QFileInfo(ZED_PANE_PLUGIN).canonicalFilePath());
}

TEST(PanePlugin, RealPaneSavesTheOrientationWhenSelected) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qunsetenv("ZED_PLATFORM");
    PanePlugin plugin;
    ASSERT_TRUE(plugin.load(ZED_PANE_PLUGIN)) << plugin.error().toStdString();
    ASSERT_NE(plugin.pane(), nullptr);
    EXPECT_EQ(plugin.info().value("CFBundleIdentifier").toString(), "com.tovik.ZED");

    const QString domain = QDir(config.path()).filePath("com.tovik.ZED.plist");
    PrefsWindow window(*plugin.pane());
    window.showPane();
    ASSERT_NE(window.centralWidget(), nullptr);
    EXPECT_NE(window.centralWidget()->findChild<QWidget*>("buttonsPageContainer"), nullptr);
    QFile file(domain);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << domain.toStdString();
    EXPECT_TRUE(file.readAll().contains("<key>Orientation</key>"));
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isPaneSelected());
}

} // namespace
} // namespace zed::test
