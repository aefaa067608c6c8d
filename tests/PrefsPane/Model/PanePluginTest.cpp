// The pane as the settings application loads it: a plug-in library found by
// path, without linking any of its code.
#include "PrefsPane/Model/PreferencePane.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

// The user's configuration folder for the pane's real preference domains.
QTemporaryDir* sConfig = nullptr;

TEST(PanePlugin, MetadataIsTheBundleInformation) {
    QPluginLoader loader(QStringLiteral(ZED_PANE_PLUGIN));
    const QJsonObject meta = loader.metaData();
    EXPECT_EQ(meta.value("IID").toString(), PreferencePaneFactory_iid);
    const QJsonObject info = meta.value("MetaData").toObject();
    EXPECT_EQ(info.value("CFBundleIdentifier").toString(), "com.tovik.ZED");
    EXPECT_FALSE(info.value("CFBundleHelpBookName").toString().isEmpty());
}

TEST(PanePlugin, HelpBookLiesBesideTheLibrary) {
    const QDir bundle = QFileInfo(QStringLiteral(ZED_PANE_PLUGIN)).absoluteDir();
    EXPECT_TRUE(QFileInfo(bundle.filePath("help/index.htm")).isFile());
}

TEST(PanePlugin, LoadsAndRunsThroughItsFactory) {
    QPluginLoader loader(QStringLiteral(ZED_PANE_PLUGIN));
    ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
    auto* factory = qobject_cast<PreferencePaneFactory*>(loader.instance());
    ASSERT_NE(factory, nullptr);

    std::unique_ptr<PreferencePane> pane = factory->createPane();
    ASSERT_NE(pane, nullptr);
    QWidget* view = pane->loadMainView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(pane->mainView(), view);
    EXPECT_EQ(pane->property("orientation").toInt(), 0);

    // Selecting saves once: the domain appears in the configuration folder.
    pane->willSelect();
    const QString domain = QDir(sConfig->path()).filePath("com.tovik.ZED.plist");
    QFile file(domain);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << domain.toStdString();
    EXPECT_TRUE(file.readAll().contains("Orientation"));
    pane->didUnselect();
    pane.reset();
}

} // namespace
} // namespace zed::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QTemporaryDir config;
    zed::test::sConfig = &config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qunsetenv("ZED_PLATFORM");
    return RUN_ALL_TESTS();
}
