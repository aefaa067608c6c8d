#include "PrefsPane/Services/PaneBundle.h"

#include "PrefsPane/Services/PaneServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace zed::test {
namespace {

const char* const kKeys[] = {"TOVIK_ZED_SITE_URL", "TOVIK_ZED_UPDATE_URL", "CLICK_TYPE_ERROR_TITLE",
                             "CLICK_TYPE_ERROR_MESSAGE", "CLICK_TYPE_ERROR_DEF_BUTTON"};

// The bundle's information dictionary and strings.

TEST(PaneBundle, InformationDictionaryNamesTheDomainAndTheHelpBook) {
    const QJsonObject info = PaneBundle::embeddedInfo();
    const PaneBundle bundle("/nowhere", info, QLocale(QLocale::English));
    EXPECT_EQ(bundle.identifier(), "com.tovik.ZED");
    EXPECT_EQ(bundle.infoValue("CFBundleHelpBookName").toString(), "ZED Help");
    EXPECT_EQ(bundle.infoValue("CFBundleHelpBookFolder").toString(), "help");
    EXPECT_TRUE(bundle.infoValue("NoSuchKey").isUndefined());
    EXPECT_EQ(bundle.path(), "/nowhere");
}

TEST(PaneBundle, EveryKeyIsTranslatedInEveryLanguage) {
    for (QLocale::Language language : {QLocale::English, QLocale::German}) {
        const PaneBundle bundle({}, PaneBundle::embeddedInfo(), QLocale(language));
        for (const char* key : kKeys) {
            const QString text = bundle.localizedString(key);
            EXPECT_FALSE(text.isEmpty()) << key;
            EXPECT_NE(text, QString::fromLatin1(key)) << key;
        }
    }
}

TEST(PaneBundle, LanguageFallsBackToItsBaseThenToEnglish) {
    EXPECT_EQ(PaneBundle({}, {}, QLocale(QLocale::German, QLocale::Austria)).language(), "de");
    EXPECT_EQ(PaneBundle({}, {}, QLocale(QLocale::German)).localizedString("TOVIK_ZED_SITE_URL"),
              "https://www.tovik.example/de/zed/");
    const PaneBundle french({}, {}, QLocale(QLocale::French));
    EXPECT_EQ(french.language(), "en");
    EXPECT_EQ(french.localizedString("CLICK_TYPE_ERROR_DEF_BUTTON"), "OK");
}

TEST(PaneBundle, DefaultPathIsTheFolderOfTheRunningCode) {
    EXPECT_EQ(PaneBundle::defaultPath(), QCoreApplication::applicationDirPath());
}

// Help pages through the desktop's URL handler.

class UrlRecordingServices : public DesktopPaneServices {
public:
    using DesktopPaneServices::DesktopPaneServices;
    bool openUrl(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<QUrl> opened;
};

class DesktopHelp : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("help"));
        QFile page(QDir(dir.path()).filePath("help/index.htm"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    }
    std::unique_ptr<PaneBundle> bundleAt(const QString& path) {
        return std::make_unique<PaneBundle>(path, PaneBundle::embeddedInfo(),
                                            QLocale(QLocale::English));
    }
    QTemporaryDir dir;
};

TEST_F(DesktopHelp, RegisteredBookOpensItsPageAsAFile) {
    UrlRecordingServices services(bundleAt(dir.path()));
    ASSERT_TRUE(services.registerHelpBook(services.bundle()));
    EXPECT_TRUE(services.gotoHelpPage("ZED Help", "index.htm", {}));
    EXPECT_TRUE(services.gotoHelpPage("ZED Help", "index.htm", "buttons"));
    ASSERT_EQ(services.opened.size(), 2u);
    const QUrl expected = QUrl::fromLocalFile(QDir(dir.path()).filePath("help/index.htm"));
    EXPECT_EQ(services.opened[0], expected);
    EXPECT_EQ(services.opened[1].fragment(), "buttons");
    EXPECT_EQ(services.opened[1].adjusted(QUrl::RemoveFragment), expected);
}

TEST_F(DesktopHelp, PageInTheBundlesLanguageIsPreferred) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("help/de"));
    QFile german(QDir(dir.path()).filePath("help/de/index.htm"));
    ASSERT_TRUE(german.open(QIODevice::WriteOnly));
    UrlRecordingServices services(std::make_unique<PaneBundle>(
        dir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::German)));
    ASSERT_TRUE(services.registerHelpBook(services.bundle()));
    EXPECT_TRUE(services.gotoHelpPage("ZED Help", "index.htm", {}));
    // A page the book has only in English opens in English.
    EXPECT_TRUE(services.gotoHelpPage("ZED Help", "other.htm", {}));
    ASSERT_EQ(services.opened.size(), 2u);
    EXPECT_EQ(services.opened[0],
              QUrl::fromLocalFile(QDir(dir.path()).filePath("help/de/index.htm")));
    EXPECT_EQ(services.opened[1], QUrl::fromLocalFile(QDir(dir.path()).filePath("help/other.htm")));
}

TEST_F(DesktopHelp, BundleWithoutTheBookFolderRegistersNothing) {
    QTemporaryDir bare;
    UrlRecordingServices services(bundleAt(bare.path()));
    EXPECT_FALSE(services.registerHelpBook(services.bundle()));
    EXPECT_FALSE(services.gotoHelpPage("ZED Help", "index.htm", {}));

    const PaneBundle nameless(dir.path(), QJsonObject{}, QLocale(QLocale::English));
    EXPECT_FALSE(services.registerHelpBook(nameless));
}

} // namespace
} // namespace zed::test
