// Connects the controls of the pane's interface files to the settings of the
// model, so that no page needs load or save code of its own. A control takes
// part when it has the dynamic property "binding", the name of a property of
// the model:
//
//   slider (QAbstractSlider)   setting = position / "bindingScale" (default 1),
//                              so a slider of 5..50 with scale 5 edits 1.0..10.0
//                              in steps of 0.2
//   spin box                   setting = the value shown
//   check box                  checked writes "bindingOn" (default 1), unchecked
//                              "bindingOff" (default 0); checked while the
//                              setting equals "bindingOn"
//   radio button               has "bindingValue"; checking it writes that
//                              value; checked while the setting equals it
//                              a value box of the same setting follows the
//                              slider while it is dragged; the setting is
//                              written when the slider is let go (unless the
//                              slider tracks)
//   pop-up (QComboBox)         the chosen item's data, or its index when it
//                              has none; shows the item whose data (or index)
//                              equals the setting, and no item when none does
//
// A model may give the range of a setting: a method settingRange(QString)
// answering a QVariantMap {"minimum", "maximum", "step"} (empty for none).
// Sliders (over their scale) and value boxes of the setting then offer that
// range in those steps, whatever their interface file says.
//
// Integer settings take the value rounded. The controls show the model's
// values when bound and again whenever the model announces a change; showing
// a value never writes it back.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QWidget;

class SettingsBinder : public QObject {
    Q_OBJECT

public:
    // `model` must outlive the binder or be its parent's concern; the binder
    // stops writing once the model is gone.
    explicit SettingsBinder(QObject* model, QObject* parent = nullptr);
    ~SettingsBinder() override;

    // Binds every control under `root` (itself included) that names a
    // setting. Controls naming no property of the model are left alone with a
    // warning. Returns how many were bound.
    int bind(QWidget* root);

    int boundCount() const { return static_cast<int>(bindings_.size()); }

public slots:
    // Shows the model's current values in every bound control.
    void refresh();

private:
    struct Binding {
        QPointer<QWidget> control;
        QString property;
    };

    bool bindControl(QWidget* control, const QString& property);
    // Sets a slider's or value box's range and step to the model's for the setting.
    void applyRange(QWidget* control, const QString& property);
    // A value box bound to a slider's setting shows the slider's position
    // while it is dragged, before the setting is stored.
    void followSliders(const QList<QWidget*>& controls);
    void write(QWidget* control, const QString& property, const QVariant& value);
    void show(const Binding& binding);

    QPointer<QObject> model_;
    std::vector<Binding> bindings_;
};

// The first view under `root` (itself included) whose dynamic property "tag"
// is `tag`, or null.
QWidget* viewWithTag(QWidget* root, int tag);
