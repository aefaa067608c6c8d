// The pane for keyboard and screen-reader users and on small or scaled
// screens: controls named by their rows, Tab in reading order, pages that
// scroll, sliders that line up with labelled ends and value boxes that follow
// them while they are dragged.
#include "PrefsPane/Buttons/ButtonsController.h"
#include "PrefsPane/Buttons/KeyInputPanel.h"
#include "PrefsPane/Widgets/SettingsBinder.h"
#include "PrefsTestSupport.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>

namespace zed::test {
namespace {

QString accessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString("<no interface>");
}
QString accessibleDescription(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Description) : QString();
}

bool isControl(QWidget* w) {
    return (qobject_cast<QAbstractSlider*>(w) && !qobject_cast<QScrollBar*>(w)) ||
           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QAbstractButton*>(w);
}

// The widgets the Tab key visits from `start` on, as far as `within` reaches.
QList<QWidget*> tabChain(QWidget* start, QWidget* within) {
    QList<QWidget*> chain;
    QWidget* w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() &&
            within->isAncestorOf(w) && !w->focusProxy()) {
            chain << w;
        }
        w = w->nextInFocusChain();
    } while (w != start && chain.size() < 200);
    return chain;
}

// Whether `b` comes after `a` when the page is read: below it, or beside it
// to the right on the same line.
bool readAfter(QWidget* a, QWidget* b, QWidget* page) {
    const QRect ra(a->mapTo(page, QPoint()), a->size());
    const QRect rb(b->mapTo(page, QPoint()), b->size());
    if (rb.top() >= ra.bottom() - 2) {
        return true;
    }
    const bool sameLine = rb.top() < ra.bottom() && ra.top() < rb.bottom();
    return sameLine && rb.left() >= ra.right() - 2;
}

class PaneLayout : public PrefsTest {
protected:
    PaneMainView& shown(QSize size = QSize(800, 700)) {
        storeAsAgent(agentDefaults());
        PaneMainView& view = showPane();
        view.resize(size);
        view.show();
        return view;
    }
    void useGerman() {
        PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
            bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::German))));
    }
};

// Names

TEST_F(PaneLayout, EveryControlIsNamedByTheLabelOfItsRow) {
    PaneMainView& view = shown();
    const std::vector<std::pair<const char*, QString>> expected{
        {"sensitivitySlider", "Sensitivity"},     {"sensitivitySpin", "Sensitivity"},
        {"sensitivityXSlider", "Horizontal (X)"}, {"sensitivityXSpin", "Horizontal (X)"},
        {"sensitivityYSpin", "Vertical (Y)"},     {"accelerationSpin", "Amount"},
        {"scrollSpin", "Scroll-wheel speed"},     {"dblClickSlider", "Double-click speed"},
        {"dblClickSpin", "Double-click speed"},   {"resolutionPopUp", "Resolution"},
        {"mapTypeButton1", "Button 1"},           {"mapTypeButton4", "Button 4"},
        {"mapTypeButton7", "Button 7"},           {"macroKeyMenu", "Special key"},
        {"assignKeyMenu", "Special key"},         {"rightHandRadio", "Right hand"},
        {"advancedButton", "Advanced…"}};
    for (const auto& [name, label] : expected) {
        QWidget* w = view.findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(accessibleName(w), label) << name;
    }
    // A pop-up keeps its name whatever is chosen in it; its value is the choice.
    auto* popUp = view.findChild<QComboBox*>("mapTypeButton3");
    EXPECT_EQ(accessibleName(popUp), "Button 3");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(popUp)->text(QAccessible::Value),
              popUp->currentText());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(popUp)->role(), QAccessible::ComboBox);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(popUp)->childCount(), 1) << "its list";
    // A slider reads the setting's value as its box shows it, not its steps.
    for (const char* name : {"sensitivitySlider", "scrollSlider", "dblClickSlider"}) {
        QAccessibleInterface* slider =
            QAccessible::queryAccessibleInterface(view.findChild<QSlider*>(name));
        const auto* box = view.findChild<QDoubleSpinBox*>(QString(name).replace("Slider", "Spin"));
        ASSERT_NE(slider->valueInterface(), nullptr) << name;
        EXPECT_EQ(slider->valueInterface()->currentValue().toDouble(), box->value()) << name;
        EXPECT_EQ(slider->text(QAccessible::Value), box->cleanText()) << name;
    }

    // No two controls of one page share a name unless they show one value.
    for (QWidget* page :
         {static_cast<QWidget*>(view.sensitivityPage()), view.buttonsPageContainer(),
          static_cast<QWidget*>(view.advancedPanel())}) {
        const QList<QWidget*> all = page->findChildren<QWidget*>();
        for (QWidget* w : all) {
            if (isControl(w) && w->parentWidget() &&
                !qobject_cast<QAbstractSpinBox*>(w->parentWidget())) {
                EXPECT_FALSE(accessibleName(w).isEmpty())
                    << qPrintable(w->objectName()) << " " << w->metaObject()->className() << " in "
                    << qPrintable(w->parentWidget()->objectName());
                EXPECT_FALSE(accessibleName(w).contains('&')) << qPrintable(w->objectName());
                EXPECT_FALSE(accessibleName(w).endsWith(':')) << qPrintable(w->objectName());
            }
        }
    }
}

TEST_F(PaneLayout, PicturesAreDescribed) {
    PaneMainView& view = shown();
    for (const char* name :
         {"buttonsHandsPicture", "buttonsMousePicture", "dblClickView", "macroMousePicture",
          "assignKeyMousePicture", "advancedMousePicture"}) {
        QWidget* w = view.findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_FALSE(accessibleName(w).isEmpty()) << name;
    }
    for (const char* name : {"buttonsHandsPicture", "buttonsMousePicture", "dblClickView"}) {
        EXPECT_FALSE(accessibleDescription(view.findChild<QWidget*>(name)).isEmpty()) << name;
    }
    EXPECT_EQ(accessibleDescription(view.findChild<QWidget*>("buttonsHandsPicture")), "Right hand");
    pane->setOrientation(1);
    EXPECT_EQ(accessibleDescription(view.findChild<QWidget*>("buttonsHandsPicture")), "Left hand");
}

// Tab order

TEST_F(PaneLayout, TabGoesFromTheTabsThroughThePageInReadingOrderToTheLinks) {
    PaneMainView& view = shown(QSize(900, 1000));
    QTabBar* tabs = view.pageTabs()->tabBar();
    for (int page = 0; page < 2; ++page) {
        view.pageTabs()->setCurrentIndex(page);
        QList<QWidget*> chain = tabChain(tabs, &view);
        ASSERT_GE(chain.size(), 6) << page;
        EXPECT_EQ(chain.first(), tabs);
        const QList<QWidget*> links{view.findChild<QWidget*>("siteButton"),
                                    view.findChild<QWidget*>("updateButton"),
                                    view.findChild<QWidget*>("restoreDefaultsButton"),
                                    view.findChild<QWidget*>("helpButton")};
        // Then, round again, the applications bar above the pages.
        const QList<QWidget*> bar{view.applicationSetPopUp(),
                                  view.findChild<QWidget*>("applicationSetAddButton")};
        EXPECT_EQ(chain.mid(chain.size() - bar.size()), bar) << "page " << page;
        chain = chain.mid(0, chain.size() - bar.size());
        EXPECT_EQ(chain.mid(chain.size() - links.size()), links) << "page " << page;
        const QList<QWidget*> controls = chain.mid(1, chain.size() - 1 - links.size());
        QWidget* shownPage = view.pageTabs()->currentWidget();
        for (QWidget* w : controls) {
            ASSERT_TRUE(shownPage->isAncestorOf(w)) << qPrintable(w->objectName());
        }
        for (qsizetype i = 1; i < controls.size(); ++i) {
            EXPECT_TRUE(readAfter(controls[i - 1], controls[i], shownPage))
                << qPrintable(controls[i - 1]->objectName()) << " then "
                << qPrintable(controls[i]->objectName());
        }
    }
}

TEST_F(PaneLayout, TabFollowsReadingOrderInTheDialogs) {
    PaneMainView& view = shown();
    auto* buttons = view.buttonsPageContainer()->findChild<ButtonsController*>();
    ASSERT_NE(buttons, nullptr);
    for (QDialog* dialog : {view.advancedPanel(), buttons->advancedPanel()}) {
        dialog->show();
        const QList<QWidget*> controls = tabChain(dialog->nextInFocusChain(), dialog);
        ASSERT_GE(controls.size(), 2) << qPrintable(dialog->objectName());
        // From the first control round to the last, once each.
        QList<QWidget*> fromFirst = tabChain(controls.first(), dialog);
        EXPECT_EQ(fromFirst.size(), controls.size());
        for (qsizetype i = 1; i < fromFirst.size(); ++i) {
            EXPECT_TRUE(readAfter(fromFirst[i - 1], fromFirst[i], dialog))
                << qPrintable(fromFirst[i - 1]->objectName()) << " then "
                << qPrintable(fromFirst[i]->objectName());
        }
        dialog->hide();
    }
}

// Layout

TEST_F(PaneLayout, AtScaleTwoOnAFullHdScreenEverythingIsReachable) {
    // 1920×1080 at scale 2 leaves 960×540 points; the window's frame and the
    // desktop's panel take some of it.
    const QSize screen(960, 540 - 60);
    PaneMainView& view = shown();
    EXPECT_LE(view.minimumSizeHint().width(), screen.width());
    EXPECT_LE(view.minimumSizeHint().height(), screen.height());
    view.resize(screen);
    QCoreApplication::processEvents();
    for (const char* link : {"siteButton", "updateButton", "helpButton"}) {
        QWidget* w = view.findChild<QWidget*>(link);
        EXPECT_TRUE(view.rect().contains(QRect(w->mapTo(&view, QPoint()), w->size()))) << link;
    }
    for (int page = 0; page < 2; ++page) {
        view.pageTabs()->setCurrentIndex(page);
        auto* scroll = qobject_cast<QScrollArea*>(view.pageTabs()->currentWidget());
        ASSERT_NE(scroll, nullptr) << "page " << page << " scrolls";
        QCoreApplication::processEvents();
        const QList<QWidget*> all = scroll->widget()->findChildren<QWidget*>();
        int checked = 0;
        for (QWidget* w : all) {
            if (!isControl(w) || !w->isVisible()) {
                continue;
            }
            // As far as the scroll bars go to show the whole control.
            const QPoint centre = w->mapTo(scroll->widget(), w->rect().center());
            scroll->ensureVisible(centre.x(), centre.y(), w->width() / 2 + 1, w->height() / 2 + 1);
            const QRect inViewport(w->mapTo(scroll->viewport(), QPoint()), w->size());
            EXPECT_TRUE(scroll->viewport()->rect().contains(inViewport))
                << qPrintable(w->objectName()) << " out of reach on page " << page << " at "
                << inViewport.x() << "," << inViewport.y() << " " << inViewport.width() << "x"
                << inViewport.height() << " in " << scroll->viewport()->width() << "x"
                << scroll->viewport()->height();
            ++checked;
        }
        EXPECT_GT(checked, 5);
    }
}

TEST_F(PaneLayout, AtTheSizeItAsksForNoPageScrolls) {
    PaneMainView& view = shown();
    view.resize(view.sizeHint());
    for (int page = 0; page < 2; ++page) {
        view.pageTabs()->setCurrentIndex(page);
        QCoreApplication::processEvents();
        auto* scroll = qobject_cast<QScrollArea*>(view.pageTabs()->currentWidget());
        ASSERT_NE(scroll, nullptr);
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "page " << page;
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << "page " << page;
    }
}

TEST_F(PaneLayout, AtItsSmallestTheWindowStillShowsTheTabsAndTheLinks) {
    PaneMainView& view = shown();
    view.resize(view.minimumSizeHint());
    QCoreApplication::processEvents();
    for (const char* link : {"siteButton", "updateButton", "helpButton"}) {
        QWidget* w = view.findChild<QWidget*>(link);
        EXPECT_TRUE(view.rect().contains(QRect(w->mapTo(&view, QPoint()), w->size()))) << link;
    }
    EXPECT_GT(view.pageTabs()->currentWidget()->height(), 50);
    // Wide enough for the pane on a normal screen without scrolling sideways.
    EXPECT_LE(view.sizeHint().width(), 1280);
}

TEST_F(PaneLayout, SlidersLineUpAcrossGroupsWithLabelledEndsAndMiddles) {
    PaneMainView& view = shown(QSize(900, 1000));
    QCoreApplication::processEvents();
    const QStringList sliders{"sensitivitySlider", "sensitivityXSlider", "accelerationSlider",
                              "scrollSlider", "dblClickSlider"};
    const auto left = [&](const QString& name) {
        QWidget* w = view.findChild<QWidget*>(name);
        return w->mapTo(view.sensitivityPage(), QPoint()).x();
    };
    for (const QString& name : sliders) {
        EXPECT_EQ(left(name), left(sliders.first())) << qPrintable(name);
        const QString prefix = name.chopped(QStringLiteral("Slider").size());
        auto* slow = view.findChild<QLabel*>(prefix + "LabelSlow");
        auto* middle = view.findChild<QLabel*>(prefix + "LabelMiddle");
        auto* fast = view.findChild<QLabel*>(prefix + "LabelFast");
        ASSERT_TRUE(slow && middle && fast) << qPrintable(name);
        QWidget* slider = view.findChild<QWidget*>(name);
        const QRect track(slider->mapTo(view.sensitivityPage(), QPoint()), slider->size());
        const auto at = [&](QLabel* l) {
            return QRect(l->mapTo(view.sensitivityPage(), QPoint()), l->size());
        };
        EXPECT_GE(at(slow).top(), track.bottom() - 2) << "below the slider";
        EXPECT_LE(std::abs(at(slow).left() - track.left()), 12) << qPrintable(name);
        EXPECT_LE(std::abs(at(fast).right() - track.right()), 12) << qPrintable(name);
        EXPECT_LE(std::abs(at(middle).center().x() - track.center().x()), 20) << qPrintable(name);
    }
    EXPECT_EQ(view.findChild<QLabel*>("sensitivityLabelSlow")->text(), "Slow");
    EXPECT_EQ(view.findChild<QLabel*>("sensitivityLabelFast")->text(), "Fast");
}

// Sliders and value boxes

TEST_F(PaneLayout, AValueBoxFollowsItsSliderWhileDraggedAndTheSettingIsStoredOnRelease) {
    shown();
    auto* slider = control<QSlider>("sensitivitySlider");
    auto* spin = control<QDoubleSpinBox>("sensitivitySpin");
    const std::size_t before = posts.size();
    slider->setSliderDown(true);
    slider->setSliderPosition(20); // 4.0
    EXPECT_DOUBLE_EQ(spin->value(), 4.0);
    slider->setSliderPosition(25);
    EXPECT_DOUBLE_EQ(spin->value(), 5.0);
    EXPECT_EQ(posts.size(), before) << "nothing is stored while dragging";
    EXPECT_EQ(*onDisk("Sensitivity"), Value(10.0));
    slider->setSliderDown(false);
    EXPECT_EQ(posts.size(), before + 1);
    EXPECT_EQ(*onDisk("Sensitivity"), Value(5.0));

    // A drag let go where it began stores nothing and shows the setting again.
    slider->setSliderDown(true);
    slider->setSliderPosition(40);
    EXPECT_DOUBLE_EQ(spin->value(), 8.0);
    slider->setSliderPosition(25);
    slider->setSliderDown(false);
    EXPECT_EQ(posts.size(), before + 1);
    EXPECT_DOUBLE_EQ(spin->value(), 5.0);
}

TEST_F(PaneLayout, TheAccelerationGroupSaysWhoAccelerates) {
    shown();
    auto* note = control<QLabel>("accelerationNote");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().contains("desktop accelerates")) << qPrintable(note->text());
    control<QAbstractButton>("accelerationCheck")->click();
    EXPECT_EQ(*onDisk("MasterAccelOn"), Value(std::int32_t{1}));
    EXPECT_TRUE(note->text().contains("mouse's driver accelerates")) << qPrintable(note->text());
    control<QAbstractButton>("accelerationCheck")->click();
    EXPECT_TRUE(note->text().contains("desktop accelerates"));
}

TEST_F(PaneLayout, GermanSaysMaustasteForTheMouseButtons) {
    useGerman();
    PaneMainView& view = shown();
    EXPECT_EQ(view.pageTabs()->tabText(1), "Maustasten");
    EXPECT_EQ(accessibleName(view.findChild<QWidget*>("mapTypeButton2")), "Maustaste 2");
    EXPECT_EQ(view.findChild<QLabel*>("mappingsTitle")->text(), "Was jede Maustaste tut:");
    EXPECT_EQ(PaneServices::current().bundle().localizedString("CLICK_TYPE_ERROR_TITLE"),
              "Eine Maustaste muss den Primärklick behalten");
}

} // namespace
} // namespace zed::test
