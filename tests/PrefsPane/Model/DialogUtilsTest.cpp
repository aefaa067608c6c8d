#include "PrefsPane/Services/DialogUtils.h"

#include "PrefsPane/Services/PaneServices.h"
#include "RecordingPaneServices.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

// What the alert looked like while it was up.
struct Seen {
    bool found = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text, informativeText, button;
    Qt::TextFormat format = Qt::AutoText;
    int buttons = 0;
    bool visible = false;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* parent = nullptr;
    bool callerWaiting = false;
};

class DialogUtilsTest : public testing::Test {
protected:
    void SetUp() override { useLocale(QLocale(QLocale::English)); }
    void TearDown() override { PaneServices::install(nullptr); }

    void useLocale(const QLocale& locale, const QString& translations = {}) {
        PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
            dir.path(), PaneBundle::embeddedInfo(), locale,
            translations.isEmpty() ? PaneBundle::defaultTranslations() : translations)));
    }

    // Shows the alert; once it is up, looks at it and then does `answer`.
    Seen runAlert(QWidget* window, const std::function<void(QMessageBox&)>& answer) {
        Seen seen;
        bool returned = false;
        QTimer::singleShot(0, [&] {
            const auto boxes = window ? window->findChildren<QMessageBox*>()
                                      : QList<QMessageBox*>{qobject_cast<QMessageBox*>(
                                            QApplication::activeModalWidget())};
            QMessageBox* box = boxes.isEmpty() ? nullptr : boxes.first();
            if (!box) {
                DialogUtils::sheetDidEnd(nullptr, 0, nullptr); // do not hang
                return;
            }
            seen.found = true;
            seen.icon = box->icon();
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.informativeText = box->informativeText();
            seen.format = box->textFormat();
            seen.buttons = static_cast<int>(box->buttons().size());
            seen.button = box->buttons().isEmpty() ? QString() : box->buttons().first()->text();
            seen.visible = box->isVisible();
            seen.modality = box->windowModality();
            seen.parent = box->parentWidget();
            seen.callerWaiting = !returned;
            alert = box;
            answer(*box);
        });
        DialogUtils::displayMapTypeAlert();
        returned = true;
        return seen;
    }

    QTemporaryDir dir;
    QPointer<QMessageBox> alert;
};

TEST_F(DialogUtilsTest, RefusalIsAWarningWithOneButtonOnTheMainWindow) {
    QMainWindow window;
    window.show();
    const Seen seen = runAlert(&window, [](QMessageBox& box) { box.buttons().first()->click(); });
    ASSERT_TRUE(seen.found);
    // A refused choice is no error: a warning, its summary in bold in the
    // body (desktops that show no title still show it), the reason below.
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(seen.title, "One button must keep the primary click");
    EXPECT_EQ(seen.format, Qt::RichText);
    EXPECT_EQ(seen.text, "<b>One button must keep the primary click</b>");
    EXPECT_TRUE(seen.informativeText.startsWith("This choice would leave none"));
    EXPECT_EQ(seen.button, "OK");
    EXPECT_TRUE(seen.visible);
    EXPECT_EQ(seen.modality, Qt::WindowModal);
    EXPECT_EQ(seen.parent, &window);
    EXPECT_TRUE(seen.callerWaiting) << "the caller waits until the alert is answered";
    EXPECT_TRUE(alert.isNull()) << "hidden and released once answered";
}

TEST_F(DialogUtilsTest, EscapeAndClosingAlsoDismiss) {
    QMainWindow window;
    window.show();
    EXPECT_TRUE(runAlert(&window, [](QMessageBox& box) { box.reject(); }).found);
    EXPECT_TRUE(alert.isNull());
    EXPECT_TRUE(runAlert(&window, [](QMessageBox& box) { box.close(); }).found);
    EXPECT_TRUE(alert.isNull());
}

TEST_F(DialogUtilsTest, ClosingTheMainWindowUnderTheAlertEndsIt) {
    auto window = std::make_unique<QMainWindow>();
    window->show();
    QMainWindow* w = window.get();
    const Seen seen = runAlert(w, [&window](QMessageBox&) { window.reset(); });
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(alert.isNull());
}

TEST_F(DialogUtilsTest, WithoutAMainWindowTheAlertBlocksTheApplication) {
    const Seen seen = runAlert(nullptr, [](QMessageBox& box) { box.buttons().first()->click(); });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.parent, nullptr);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_TRUE(alert.isNull());
}

TEST_F(DialogUtilsTest, MissingTextsStillGiveAUsableButton) {
    useLocale(QLocale(QLocale::English), dir.path()); // a folder without translations
    QMainWindow window;
    window.show();
    const Seen seen = runAlert(&window, [](QMessageBox& box) { box.buttons().first()->click(); });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.title.isEmpty());
    EXPECT_FALSE(seen.button.isEmpty());
}

TEST_F(DialogUtilsTest, SheetEndStoresTheReturnCodeOnlyWhenAskedTo) {
    int code = -1;
    DialogUtils::sheetDidEnd(nullptr, 42, &code);
    EXPECT_EQ(code, 42);
    DialogUtils::sheetDidEnd(nullptr, 7, nullptr);
    EXPECT_EQ(code, 42);
}

} // namespace
} // namespace zed::test
