// The sensitivity page's controller. The page's controls are bound to the
// pane's settings (SettingsBinder), so it adds only two things: the
// double-click animation in the page's movie view, and the advanced-settings
// dialog run as a window-modal sheet in a nested event loop that its OK,
// Escape or the window's close button ends.
#pragma once

#include "CustomMovieView.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <memory>

class QEventLoop;
class QMovie;

class SensitivityController : public QObject {
    Q_OBJECT

public:
    SensitivityController(QDialog* advancedPanel, CustomMovieView* dblClickPanel,
                          QObject* parent = nullptr);
    // Takes the movie out of its view and destroys it.
    ~SensitivityController() override;

    // Once the interface is built: loads the "doubleclick" animation (its
    // dark variant when the view's theme is dark) into the movie view and
    // shows its last frame.
    void awakeFromNib();

    QDialog* advancedPanel() const { return fAdvancedPanel; }
    CustomMovieView* dblClickPanel() const { return fDblClickPanel; }
    QMovie* movie() const { return fMovie.get(); }
    // Whether the advanced sheet's nested run is going on.
    bool isRunningSheet() const { return fModalLoop != nullptr; }

public slots:
    // Shows the advanced dialog as a sheet on the pane's window and returns
    // once it was confirmed.
    void doAdvancedSettings(QObject* sender = nullptr);
    // The dialog's confirming control: ends the sheet with return code 1.
    void applyAdvancedSettings(QObject* sender = nullptr);
    // End of the sheet: stops the nested run and, when given, stores the
    // return code through contextInfo.
    void advancedDidEnd(QWidget* sheet, int returnCode, int* contextInfo);

protected:
    // Ends the sheet on Escape and on the window's close request.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QDialog> fAdvancedPanel;
    QPointer<CustomMovieView> fDblClickPanel;
    std::unique_ptr<QMovie> fMovie;
    QEventLoop* fModalLoop = nullptr; // the sheet's run, while it goes on
    int* fSheetContext = nullptr;     // where the sheet's return code goes
    const QObject* fFilteredPanel;    // the dialog whose events are filtered
};
