// Every strings file of the chosen language is the pane's, so that each page
// may bring its own; files of other languages are not.
#include "PrefsPane/Services/PaneBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

class PaneStrings : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        for (const char* lang : {"en", "de"}) {
            const QString name = QStringLiteral("TovikCopperhound_%1.qm").arg(lang);
            ASSERT_TRUE(QFile::copy(":/com.tovik.ZED/translations/" + name,
                                    QDir(folder.path()).filePath(name)));
        }
        ASSERT_TRUE(QFile::copy(ZED_EXTRA_STRINGS, QDir(folder.path()).filePath("Extra_de.qm")));
    }
    QTemporaryDir folder;
};

TEST_F(PaneStrings, PagesStringsOfTheLanguageAreLoadedWithThePanes) {
    const PaneBundle german({}, PaneBundle::embeddedInfo(), QLocale(QLocale::German),
                            folder.path());
    EXPECT_EQ(german.language(), "de");
    EXPECT_EQ(german.localizedString("EXTRA_PAGE_TEXT"), "Nur auf der zusätzlichen Seite");
    EXPECT_EQ(german.localizedString("CLICK_TYPE_ERROR_DEF_BUTTON"), "OK");
}

TEST_F(PaneStrings, OtherLanguagesFilesAreNotLoaded) {
    const PaneBundle english({}, PaneBundle::embeddedInfo(), QLocale(QLocale::English),
                             folder.path());
    EXPECT_EQ(english.language(), "en");
    EXPECT_TRUE(english.localizedString("EXTRA_PAGE_TEXT").isEmpty());
}

TEST_F(PaneStrings, InstalledStringsServeTheInterfaceUntilTheBundleGoes) {
    {
        const PaneBundle german({}, PaneBundle::embeddedInfo(), QLocale(QLocale::German),
                                folder.path());
        german.installTranslations();
        german.installTranslations(); // once is enough; twice is harmless
        EXPECT_EQ(qtTrId("EXTRA_PAGE_TEXT"), "Nur auf der zusätzlichen Seite");
        EXPECT_EQ(qtTrId("PANE_TAB_SENSITIVITY"), "Empfindlichkeit");
    }
    EXPECT_EQ(qtTrId("EXTRA_PAGE_TEXT"), "EXTRA_PAGE_TEXT");
}

TEST(PaneResources, PicturesAndAnimationAreCompiledIn) {
    const PaneBundle bundle({}, PaneBundle::embeddedInfo());
    // Scalable pictures, sharp at any screen scale.
    for (const char* picture : {"righthand", "lefthand", "rightmouse", "leftmouse"}) {
        const QString path = bundle.pathForResource(picture, "svg");
        EXPECT_FALSE(path.isEmpty()) << picture;
        EXPECT_TRUE(QFile::exists(path)) << picture;
        EXPECT_TRUE(bundle.pathForResource(picture, "jpg").isEmpty()) << picture;
    }
    EXPECT_FALSE(bundle.pathForResource("doubleclick", "gif").isEmpty());
    EXPECT_TRUE(bundle.pathForResource("doubleclick", "mov").isEmpty());
    EXPECT_TRUE(bundle.pathForResource("nothing", "jpg").isEmpty());
}

} // namespace
} // namespace zed::test
