#include "SettingsBinder.h"

#include "Platform/core/Log.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMetaProperty>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

const char* const kBinding = "binding";

double number(const QWidget* control, const char* name, double fallback) {
    bool ok = false;
    const double value = control->property(name).toDouble(&ok);
    return ok ? value : fallback;
}

bool isRadio(const QWidget* control) {
    return control->property("bindingValue").isValid();
}

bool sameNumber(double a, double b) {
    return std::abs(a - b) < 1e-9;
}

} // namespace

SettingsBinder::SettingsBinder(QObject* model, QObject* parent) : QObject(parent), model_(model) {}

SettingsBinder::~SettingsBinder() = default;

int SettingsBinder::bind(QWidget* root) {
    int count = 0;
    QList<QWidget*> controls = root->findChildren<QWidget*>();
    controls.prepend(root);
    for (QWidget* control : controls) {
        const QVariant binding = control->property(kBinding);
        if (binding.isValid() && bindControl(control, binding.toString())) {
            ++count;
        }
    }
    followSliders(controls);
    return count;
}

void SettingsBinder::followSliders(const QList<QWidget*>& controls) {
    for (QWidget* control : controls) {
        auto* slider = qobject_cast<QAbstractSlider*>(control);
        if (!slider || !slider->property(kBinding).isValid()) {
            continue;
        }
        const QVariant property = slider->property(kBinding);
        for (QWidget* other : controls) {
            auto* spin = qobject_cast<QDoubleSpinBox*>(other);
            if (!spin || spin->property(kBinding) != property) {
                continue;
            }
            // Shown while dragging, stored only when the slider is let go.
            connect(slider, &QAbstractSlider::sliderMoved, spin, [slider, spin](int pos) {
                const QSignalBlocker quiet(spin);
                spin->setValue(pos / number(slider, "bindingScale", 1.0));
            });
        }
        // A drag that ends where it began stores nothing: show the setting again.
        connect(slider, &QAbstractSlider::sliderReleased, this, &SettingsBinder::refresh);
    }
}

bool SettingsBinder::bindControl(QWidget* control, const QString& property) {
    if (!model_) {
        return false;
    }
    const QMetaObject* meta = model_->metaObject();
    const int index = meta->indexOfProperty(property.toLatin1().constData());
    if (index < 0 || !meta->property(index).isWritable()) {
        zed::log("%s: no setting \"%s\" to bind to", qPrintable(control->objectName()),
                 qPrintable(property));
        return false;
    }

    applyRange(control, property);
    if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        connect(slider, &QAbstractSlider::valueChanged, this, [this, slider, property](int pos) {
            write(slider, property, pos / number(slider, "bindingScale", 1.0));
        });
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(control)) {
        connect(spin, &QDoubleSpinBox::valueChanged, this,
                [this, spin, property](double value) { write(spin, property, value); });
    } else if (auto* intSpin = qobject_cast<QSpinBox*>(control)) {
        connect(intSpin, &QSpinBox::valueChanged, this,
                [this, intSpin, property](int value) { write(intSpin, property, value); });
    } else if (auto* popUp = qobject_cast<QComboBox*>(control)) {
        connect(popUp, &QComboBox::currentIndexChanged, this, [this, popUp, property](int item) {
            if (item < 0) {
                return; // emptied, nothing chosen
            }
            const QVariant data = popUp->itemData(item);
            write(popUp, property, data.isValid() ? data : QVariant(item));
        });
    } else if (auto* button = qobject_cast<QAbstractButton*>(control);
               button && button->isCheckable()) {
        connect(button, &QAbstractButton::toggled, this, [this, button, property](bool on) {
            if (isRadio(button)) {
                // Only the button being checked speaks; the one unchecked
                // with it says nothing.
                if (on) {
                    write(button, property, button->property("bindingValue"));
                }
                return;
            }
            write(button, property,
                  on ? number(button, "bindingOn", 1) : number(button, "bindingOff", 0));
        });
    } else {
        zed::log("%s: cannot bind a %s", qPrintable(control->objectName()),
                 control->metaObject()->className());
        return false;
    }

    // Follow the model's announcements of this setting.
    const QMetaMethod notify = meta->property(index).notifySignal();
    if (notify.isValid()) {
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("refresh()"));
        connect(model_, notify, this, slot, Qt::UniqueConnection);
    }
    bindings_.push_back({control, property});
    show(bindings_.back());
    return true;
}

void SettingsBinder::applyRange(QWidget* control, const QString& property) {
    const QMetaObject* meta = model_->metaObject();
    if (meta->indexOfMethod("settingRange(QString)") < 0) {
        return;
    }
    QVariantMap range;
    QMetaObject::invokeMethod(model_, "settingRange", Qt::DirectConnection,
                              Q_RETURN_ARG(QVariantMap, range), Q_ARG(QString, property));
    if (range.isEmpty()) {
        return;
    }
    const double min = range.value(QStringLiteral("minimum")).toDouble();
    const double max = range.value(QStringLiteral("maximum")).toDouble();
    const double step = range.value(QStringLiteral("step")).toDouble();
    // Not bound yet, and no change of range is a choice of the user's.
    const QSignalBlocker quiet(control);
    if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        const double scale = number(slider, "bindingScale", 1.0);
        slider->setRange(static_cast<int>(std::lround(min * scale)),
                         static_cast<int>(std::lround(max * scale)));
        slider->setSingleStep(std::max(1, static_cast<int>(std::lround(step * scale))));
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(control)) {
        spin->setRange(min, max);
        spin->setSingleStep(step);
    }
}

void SettingsBinder::write(QWidget* control, const QString& property, const QVariant& value) {
    if (!model_ || !control) {
        return;
    }
    const QMetaObject* meta = model_->metaObject();
    const QMetaProperty prop = meta->property(meta->indexOfProperty(property.toLatin1()));
    QVariant converted = value;
    if (prop.metaType().id() == QMetaType::Int) {
        converted = QVariant(static_cast<int>(std::lround(value.toDouble())));
    } else if (prop.metaType().id() == QMetaType::Double) {
        converted = QVariant(value.toDouble());
    }
    prop.write(model_, converted);
}

void SettingsBinder::refresh() {
    for (const Binding& binding : bindings_) {
        show(binding);
    }
}

void SettingsBinder::show(const Binding& binding) {
    QWidget* control = binding.control;
    if (!control || !model_) {
        return;
    }
    const double value = model_->property(binding.property.toLatin1()).toDouble();
    const QSignalBlocker quiet(control);

    if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        const int pos = static_cast<int>(std::lround(value * number(slider, "bindingScale", 1)));
        if (slider->value() != pos) {
            slider->setValue(pos);
        }
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(control)) {
        // The box keeps its value rounded to the decimals it shows.
        if (std::abs(spin->value() - value) >= 0.5 * std::pow(10.0, -spin->decimals())) {
            spin->setValue(value);
        }
    } else if (auto* intSpin = qobject_cast<QSpinBox*>(control)) {
        const int v = static_cast<int>(std::lround(value));
        if (intSpin->value() != v) {
            intSpin->setValue(v);
        }
    } else if (auto* popUp = qobject_cast<QComboBox*>(control)) {
        // A value that no item stands for selects none: showing the first
        // would claim a setting that is not stored.
        int item = -1;
        for (int i = 0; i < popUp->count() && item < 0; ++i) {
            const QVariant data = popUp->itemData(i);
            if (data.isValid() ? sameNumber(data.toDouble(), value) : sameNumber(i, value)) {
                item = i;
            }
        }
        if (popUp->currentIndex() != item) {
            popUp->setCurrentIndex(item);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        const bool on = isRadio(button) ? sameNumber(value, number(button, "bindingValue", 0))
                                        : sameNumber(value, number(button, "bindingOn", 1));
        if (button->isChecked() != on) {
            // A radio button cannot be unchecked while it is the checked one
            // of its group; a setting none of them stands for clears them all.
            const bool exclusive = button->autoExclusive();
            button->setAutoExclusive(false);
            button->setChecked(on);
            button->setAutoExclusive(exclusive);
        }
    }
}

QWidget* viewWithTag(QWidget* root, int tag) {
    if (!root) {
        return nullptr;
    }
    QList<QWidget*> views = root->findChildren<QWidget*>();
    views.prepend(root);
    for (QWidget* view : views) {
        bool ok = false;
        if (view->property("tag").toInt(&ok) == tag && ok) {
            return view;
        }
    }
    return nullptr;
}
