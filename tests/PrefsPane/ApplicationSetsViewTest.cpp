// The applications bar of the main view: a set made through its dialog, a
// setting changed for it with its mark shown, and the reset.
#include "PrefsTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

namespace zed::test {
namespace {

// The agent's answer on a desktop that does not tell.
class UntoldFront : public FrontApplicationQuery {
public:
    FrontApplication ask() override {
        return {true, "", "this Wayland desktop does not tell ZED which window is in front"};
    }
};

using ApplicationSetsView = PrefsTest;

TEST_F(ApplicationSetsView, ANewSetsOwnValueIsMarkedAndReset) {
    storeAsAgent(agentDefaults());
    Platform::current().setFrontApplication(std::make_unique<UntoldFront>());
    PaneMainView& view = showPane();
    QString message, atOnce;
    // The dialog runs its own loop: filled in from there.
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        atOnce = dialog->findChild<QLabel*>("frontApplicationMessage")->text();
        dialog->findChild<QLineEdit*>("setNameEdit")->setText("Racing");
        dialog->findChild<QLineEdit*>("setApplicationEdit")->setText("supertuxkart");
        dialog->findChild<QPushButton*>("setApplicationAddButton")->click();
        dialog->findChild<QPushButton*>("frontApplicationButton")->click();
        message = dialog->findChild<QLabel*>("frontApplicationMessage")->text();
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    control<QPushButton>("applicationSetAddButton")->click();
    EXPECT_TRUE(message.contains("gnome-extensions enable zed-focus@tovik.com"))
        << message.toStdString();
    EXPECT_TRUE(message.contains("does not tell")) << message.toStdString();
    EXPECT_EQ(atOnce, message) << "said as the first set is made, before anyone asks";

    QComboBox* popUp = view.applicationSetPopUp();
    ASSERT_EQ(popUp->count(), 2);
    EXPECT_EQ(popUp->currentText(), "Racing");
    QToolButton* reset = view.resetButton("sensitivity");
    ASSERT_NE(reset, nullptr);
    EXPECT_TRUE(reset->isHidden());
    EXPECT_FALSE(reset->accessibleName().isEmpty());
    EXPECT_FALSE(control<QSlider>("dblClickSlider")->isEnabled()) << "the same for all";

    control<QDoubleSpinBox>("sensitivitySpin")->setValue(4.0);
    EXPECT_FALSE(reset->isHidden());
    EXPECT_EQ(*onDisk("Sensitivity"), Value(10.0));
    EXPECT_EQ(pane->sensitivity(), 4.0);

    reset->click();
    EXPECT_TRUE(reset->isHidden());
    EXPECT_EQ(control<QDoubleSpinBox>("sensitivitySpin")->value(), 10.0);

    popUp->setCurrentIndex(0);
    popUp->activated(0);
    EXPECT_TRUE(control<QSlider>("dblClickSlider")->isEnabled());
    const auto sets = settings::readSets(onDisk("ApplicationSettings"));
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].applications, std::vector<std::string>{"supertuxkart"});
    EXPECT_TRUE(sets[0].overrides.empty());
}

} // namespace
} // namespace zed::test
