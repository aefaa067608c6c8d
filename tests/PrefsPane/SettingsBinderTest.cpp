// The binder's rules on a model of the test's own: what each kind of control
// writes, what it shows, and that showing never writes.
#include "PrefsPane/Widgets/SettingsBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <vector>

namespace zed::test {
namespace {

class Model : public QObject {
    Q_OBJECT
    Q_PROPERTY(double speed READ speed WRITE setSpeed NOTIFY changed)
    Q_PROPERTY(int mode READ mode WRITE setMode NOTIFY changed)
    Q_PROPERTY(int fixed READ mode CONSTANT)

public:
    double speed() const { return speed_; }
    void setSpeed(double v) {
        speed_ = v;
        writes.push_back("speed=" + QString::number(v));
        emit changed();
    }
    int mode() const { return mode_; }
    void setMode(int v) {
        mode_ = v;
        writes.push_back("mode=" + QString::number(v));
        emit changed();
    }
    // The range of "speed" the binder is to apply; none while empty.
    Q_INVOKABLE QVariantMap settingRange(const QString& property) const {
        return property == "speed" ? speedRange : QVariantMap{};
    }
    QVariantMap speedRange;
    // Changes the values as another part of the program would.
    void load(double speed, int mode) {
        speed_ = speed;
        mode_ = mode;
        emit changed();
    }
    QStringList writes;

signals:
    void changed();

private:
    double speed_ = 0;
    int mode_ = 0;
};

template <class T> T* add(QWidget& root, const char* binding, const char* name = "") {
    auto* control = new T(&root);
    root.layout()->addWidget(control);
    control->setObjectName(QString::fromLatin1(name));
    control->setProperty("binding", QString::fromLatin1(binding));
    return control;
}

class Binder : public testing::Test {
protected:
    Binder() { root.setLayout(new QVBoxLayout); }
    Model model;
    QWidget root;
    SettingsBinder binder{&model};
};

// Sliders and spin boxes.

TEST_F(Binder, SliderWritesItsPositionOverItsScale) {
    auto* slider = add<QSlider>(root, "speed");
    slider->setRange(5, 50);
    slider->setProperty("bindingScale", 5);
    model.load(3.2, 0);
    ASSERT_EQ(binder.bind(&root), 1);
    EXPECT_EQ(slider->value(), 16);

    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(model.writes, QStringList{"speed=3.4"});
    // 17 / 5 is the double nearest 3.4, as the agent's own steps are.
    EXPECT_EQ(model.speed(), 3.4);
}

TEST_F(Binder, SliderWithoutScaleAndIntegerSettingsRound) {
    auto* slider = add<QSlider>(root, "mode");
    slider->setRange(0, 10);
    auto* half = add<QSlider>(root, "mode");
    half->setRange(0, 20);
    half->setProperty("bindingScale", 2);
    binder.bind(&root);

    slider->setValue(7);
    half->setValue(9); // 4.5 rounds away from zero
    EXPECT_EQ(model.writes, (QStringList{"mode=7", "mode=5"}));
}

TEST_F(Binder, SpinBoxesWriteTheValueShown) {
    auto* spin = add<QDoubleSpinBox>(root, "speed");
    spin->setRange(1, 10);
    spin->setSingleStep(0.2);
    auto* count = add<QSpinBox>(root, "mode");
    count->setRange(0, 9);
    model.load(2.0, 3);
    binder.bind(&root);
    EXPECT_DOUBLE_EQ(spin->value(), 2.0);
    EXPECT_EQ(count->value(), 3);

    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(count, Qt::Key_Down);
    EXPECT_EQ(model.writes, (QStringList{"speed=2.2", "mode=2"}));
}

TEST_F(Binder, TheModelsRangeIsWhatSlidersAndSpinBoxesOffer) {
    auto* slider = add<QSlider>(root, "speed");
    slider->setRange(0, 99);
    slider->setProperty("bindingScale", 4);
    auto* spin = add<QDoubleSpinBox>(root, "speed");
    spin->setRange(0, 99);
    model.speedRange = {{"minimum", 0.5}, {"maximum", 3.0}, {"step", 0.25}};
    model.load(1.0, 0);
    binder.bind(&root);
    EXPECT_EQ(std::pair(slider->minimum(), slider->maximum()), std::pair(2, 12));
    EXPECT_EQ(slider->singleStep(), 1);
    EXPECT_EQ(slider->value(), 4);
    EXPECT_EQ(std::pair(spin->minimum(), spin->maximum()), std::pair(0.5, 3.0));
    EXPECT_EQ(spin->singleStep(), 0.25);
    EXPECT_TRUE(model.writes.isEmpty()) << "setting a range writes nothing";
}

// Buttons.

TEST_F(Binder, CheckBoxWritesItsOnAndOffValues) {
    auto* plain = add<QCheckBox>(root, "mode");
    binder.bind(&root);
    EXPECT_FALSE(plain->isChecked());
    QTest::keyClick(plain, Qt::Key_Space);
    QTest::keyClick(plain, Qt::Key_Space);
    EXPECT_EQ(model.writes, (QStringList{"mode=1", "mode=0"}));
}

TEST_F(Binder, InvertedCheckBoxIsOnForItsOwnValue) {
    auto* inverted = add<QCheckBox>(root, "mode");
    inverted->setProperty("bindingOn", 0);
    inverted->setProperty("bindingOff", 1);
    model.load(0, 0);
    binder.bind(&root);
    EXPECT_TRUE(inverted->isChecked());

    QTest::keyClick(inverted, Qt::Key_Space);
    EXPECT_EQ(model.writes, QStringList{"mode=1"});
    model.load(0, 2); // neither value: shown off
    EXPECT_FALSE(inverted->isChecked());
}

TEST_F(Binder, RadioButtonsWriteOnlyTheOneChecked) {
    auto* right = add<QRadioButton>(root, "mode", "right");
    right->setProperty("bindingValue", 0);
    auto* left = add<QRadioButton>(root, "mode", "left");
    left->setProperty("bindingValue", 1);
    binder.bind(&root);
    EXPECT_TRUE(right->isChecked());

    QTest::keyClick(left, Qt::Key_Space);
    EXPECT_EQ(model.writes, QStringList{"mode=1"});
    EXPECT_FALSE(right->isChecked());

    // A value that no button stands for checks none of them.
    model.load(0, 5);
    EXPECT_FALSE(right->isChecked());
    EXPECT_FALSE(left->isChecked());
    model.load(0, 0);
    EXPECT_TRUE(right->isChecked());
    EXPECT_EQ(model.writes.size(), 1);
}

// Pop-ups.

TEST_F(Binder, PopUpWritesItsIndexOrItsItemsData) {
    auto* byIndex = add<QComboBox>(root, "mode");
    byIndex->addItems({"a", "b", "c"});
    auto* byData = add<QComboBox>(root, "speed");
    byData->addItem("slow", 0.5);
    byData->addItem("fast", 2.5);
    model.load(2.5, 2);
    binder.bind(&root);
    EXPECT_EQ(byIndex->currentIndex(), 2);
    EXPECT_EQ(byData->currentIndex(), 1);

    byIndex->setCurrentIndex(1);
    byData->setCurrentIndex(0);
    EXPECT_EQ(model.writes, (QStringList{"mode=1", "speed=0.5"}));
}

TEST_F(Binder, PopUpShowsNoItemForAValueNoneOfItsItemsStandsFor) {
    auto* byIndex = add<QComboBox>(root, "mode");
    byIndex->addItems({"a", "b", "c"});
    auto* byData = add<QComboBox>(root, "speed");
    byData->addItem("slow", 0.5);
    byData->addItem("fast", 2.5);
    model.load(1.0, 3);
    binder.bind(&root);
    EXPECT_EQ(byIndex->currentIndex(), -1);
    EXPECT_EQ(byData->currentIndex(), -1) << "an item with data stands for its data only";

    model.load(2.5, 1);
    EXPECT_EQ(byIndex->currentIndex(), 1);
    EXPECT_EQ(byData->currentIndex(), 1);
    model.load(-1.0, -1);
    EXPECT_EQ(byIndex->currentIndex(), -1);
    EXPECT_EQ(byData->currentIndex(), -1);
    EXPECT_TRUE(model.writes.isEmpty());
}

// Showing.

TEST_F(Binder, ControlsFollowTheModelWithoutWritingBack) {
    auto* slider = add<QSlider>(root, "speed");
    slider->setRange(0, 100);
    slider->setProperty("bindingScale", 10);
    auto* spin = add<QDoubleSpinBox>(root, "speed");
    binder.bind(&root);

    model.load(4.5, 0);
    EXPECT_EQ(slider->value(), 45);
    EXPECT_DOUBLE_EQ(spin->value(), 4.5);
    EXPECT_TRUE(model.writes.isEmpty());

    // Two controls of one setting: moving one moves the other, one write.
    slider->setValue(60);
    EXPECT_DOUBLE_EQ(spin->value(), 6.0);
    EXPECT_EQ(model.writes, QStringList{"speed=6"});
}

TEST_F(Binder, ValueOutsideTheRangeIsShownClampedButNotStored) {
    auto* slider = add<QSlider>(root, "speed");
    slider->setRange(5, 50);
    slider->setProperty("bindingScale", 5);
    binder.bind(&root); // the model holds 0.0
    EXPECT_EQ(slider->value(), 5);
    EXPECT_TRUE(model.writes.isEmpty());
    EXPECT_EQ(model.speed(), 0.0);
}

TEST_F(Binder, UnknownOrReadOnlySettingsAndPlainWidgetsAreNotBound) {
    add<QSlider>(root, "noSuchSetting");
    add<QSlider>(root, "fixed");
    add<QWidget>(root, "mode");
    add<QPushButton>(root, "mode"); // not checkable
    add<QSlider>(root, "speed");
    EXPECT_EQ(binder.bind(&root), 1);
    EXPECT_EQ(binder.boundCount(), 1);
}

TEST_F(Binder, NothingIsWrittenOnceTheModelIsGone) {
    auto model2 = std::make_unique<Model>();
    QWidget root2;
    root2.setLayout(new QVBoxLayout);
    auto* slider = add<QSlider>(root2, "speed");
    SettingsBinder binder2(model2.get());
    binder2.bind(&root2);
    model2.reset();
    slider->setValue(3); // must not crash
    binder2.refresh();
    EXPECT_EQ(slider->value(), 3);
}

// Views by tag.

TEST(ViewWithTag, FindsTheFirstViewCarryingTheTag) {
    QWidget root;
    auto* a = new QWidget(&root);
    a->setProperty("tag", 99);
    auto* b = new QWidget(a);
    b->setProperty("tag", 998);
    root.setProperty("tag", 7);
    EXPECT_EQ(viewWithTag(&root, 99), a);
    EXPECT_EQ(viewWithTag(&root, 998), b);
    EXPECT_EQ(viewWithTag(&root, 7), &root);
    EXPECT_EQ(viewWithTag(&root, 0), nullptr);
    EXPECT_EQ(viewWithTag(nullptr, 99), nullptr);
}

} // namespace

#include "SettingsBinderTest.moc"

} // namespace zed::test
