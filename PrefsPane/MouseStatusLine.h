// The line at the top of the pane that says whether the mouse is connected
// and the agent runs, and when something is missing, what to do. It asks the
// pane's services every few seconds on a worker thread, so that a slow bus
// never stalls the window, and follows plugging, unplugging and the agent
// starting and stopping.
#pragma once

#include "Platform/dbus/MouseStatus.h"

#include <QLabel>
#include <QThread>
#include <QTimer>
#include <memory>
#include <optional>

class MouseStatusLine : public QLabel {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 2000;

    explicit MouseStatusLine(QWidget* parent = nullptr);
    // Waits for a probe under way: it reports to this line.
    ~MouseStatusLine() override;

    // Asks again now, unless an answer is awaited.
    void refresh();
    // The last answer; none before the first.
    const std::optional<zed::MouseStatus>& status() const { return status_; }

    // The status in words: the mouse, then the agent.
    static QString describe(const zed::MouseStatus& status);

signals:
    // A new answer differs from the one shown.
    void statusChanged();

private:
    void take(const zed::MouseStatus& status);

    QTimer timer_;
    std::unique_ptr<QThread> worker_;
    std::optional<zed::MouseStatus> status_;
};
