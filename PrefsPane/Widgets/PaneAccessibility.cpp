#include "PaneAccessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QWidget>
#include <cmath>

namespace zed {
namespace {

// The controls a layout item holds, nested layouts included.
void collectControls(QLayoutItem* item, QList<QWidget*>& controls) {
    if (!item) {
        return;
    }
    if (QWidget* w = item->widget()) {
        if (!qobject_cast<QLabel*>(w)) {
            controls << w;
        }
    } else if (QLayout* inner = item->layout()) {
        for (int i = 0; i < inner->count(); ++i) {
            collectControls(inner->itemAt(i), controls);
        }
    }
}

void nameRow(QLabel* label, const QList<QWidget*>& controls) {
    const QString name = accessibleLabelText(label->text());
    if (name.isEmpty()) {
        return;
    }
    for (QWidget* control : controls) {
        // A button or check box says what it does in its own text.
        if (control->accessibleName().isEmpty() && !qobject_cast<QAbstractButton*>(control)) {
            control->setAccessibleName(name);
        }
    }
}

void nameGridRows(QGridLayout* grid) {
    for (int row = 0; row < grid->rowCount(); ++row) {
        QLayoutItem* first = grid->itemAtPosition(row, 0);
        auto* label = first ? qobject_cast<QLabel*>(first->widget()) : nullptr;
        if (!label) {
            continue;
        }
        QList<QWidget*> controls;
        for (int column = 1; column < grid->columnCount(); ++column) {
            QLayoutItem* item = grid->itemAtPosition(row, column);
            // A control spanning columns is met once per column.
            if (item && item != first &&
                (column == 1 || item != grid->itemAtPosition(row, column - 1))) {
                collectControls(item, controls);
            }
        }
        nameRow(label, controls);
    }
}

void nameFormRows(QFormLayout* form) {
    for (int row = 0; row < form->rowCount(); ++row) {
        QLayoutItem* first = form->itemAt(row, QFormLayout::LabelRole);
        auto* label = first ? qobject_cast<QLabel*>(first->widget()) : nullptr;
        if (!label) {
            continue;
        }
        QList<QWidget*> controls;
        collectControls(form->itemAt(row, QFormLayout::FieldRole), controls);
        nameRow(label, controls);
    }
}

// A pop-up button as screen readers see it: a combo box named by its own
// name, whose value is the chosen item and whose child is the list.
class PopUpAccessible : public QAccessibleWidget {
public:
    explicit PopUpAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            const QString name = box()->accessibleName();
            return name.isEmpty() ? box()->currentText() : name;
        }
        case QAccessible::Value:
            return box()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        const bool open = box()->view() && box()->view()->isVisible();
        s.expandable = true;
        s.expanded = open;
        s.collapsed = !open;
        return s;
    }

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == box()->view() ? 0 : -1;
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            box()->showPopup();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

// A slider bound to a setting moves in steps of 1 / "bindingScale" of it;
// screen readers hear the setting's value ("10.0", as the box beside it
// shows), not the slider's step count.
class ScaledSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    ScaledSliderAccessible(QAbstractSlider* slider, double scale)
        : QAccessibleWidget(slider, QAccessible::Slider), scale_(scale) {}

    QAbstractSlider* slider() const { return static_cast<QAbstractSlider*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            // One decimal, as the value boxes show these settings.
            return QLocale().toString(slider()->value() / scale_, 'f', scale_ > 1 ? 1 : 0);
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return slider()->value() / scale_; }
    void setCurrentValue(const QVariant& value) override {
        slider()->setValue(static_cast<int>(std::lround(value.toDouble() * scale_)));
    }
    QVariant maximumValue() const override { return slider()->maximum() / scale_; }
    QVariant minimumValue() const override { return slider()->minimum() / scale_; }
    QVariant minimumStepSize() const override { return slider()->singleStep() / scale_; }

private:
    double scale_;
};

QAccessibleInterface* paneFactory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) {
        return nullptr;
    }
    if (className == QLatin1String("QComboBox")) {
        auto* box = static_cast<QComboBox*>(object);
        return box->isEditable() ? nullptr : new PopUpAccessible(box);
    }
    if (auto* slider = qobject_cast<QAbstractSlider*>(object)) {
        bool scaled = false;
        const double scale = slider->property("bindingScale").toDouble(&scaled);
        if (scaled && scale > 0) {
            return new ScaledSliderAccessible(slider, scale);
        }
    }
    return nullptr;
}

int sFactoryUsers = 0;

} // namespace

QString accessibleLabelText(const QString& labelText) {
    QString text;
    text.reserve(labelText.size());
    for (qsizetype i = 0; i < labelText.size(); ++i) {
        if (labelText[i] == QLatin1Char('&') && i + 1 < labelText.size()) {
            ++i; // "&&" is a plain ampersand, "&X" marks X
        }
        text += labelText[i];
    }
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
    }
    return text.trimmed();
}

void nameControlsByTheirLabels(QWidget* root) {
    if (!root) {
        return;
    }
    // Rows first, so that a value box shares its slider's name.
    const QList<QLayout*> layouts = root->findChildren<QLayout*>();
    for (QLayout* layout : layouts) {
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            nameGridRows(grid);
        } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
            nameFormRows(form);
        }
    }
    const QList<QLabel*> labels = root->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (QWidget* buddy = label->buddy()) {
            nameRow(label, {buddy});
        }
    }
}

QList<QWidget*> tabStops(QWidget* root) {
    QList<QWidget*> stops;
    if (!root) {
        return stops;
    }
    const QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        // A pop-up's list and a spin box's line edit belong to their control;
        // dialogs have an order of their own.
        if ((w->focusPolicy() & Qt::TabFocus) && w->window() == root->window() &&
            !w->focusProxy() && !qobject_cast<QAbstractSpinBox*>(w->parentWidget()) &&
            !qobject_cast<QComboBox*>(w->parentWidget())) {
            stops << w;
        }
    }
    return stops;
}

void setTabOrderChain(const QList<QWidget*>& widgets) {
    for (qsizetype i = 1; i < widgets.size(); ++i) {
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
    }
}

AccessibleNames::AccessibleNames() {
    if (sFactoryUsers++ == 0) {
        QAccessible::installFactory(paneFactory);
    }
}

AccessibleNames::~AccessibleNames() {
    if (--sFactoryUsers == 0) {
        QAccessible::removeFactory(paneFactory);
    }
}

} // namespace zed
