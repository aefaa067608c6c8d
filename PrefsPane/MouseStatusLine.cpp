#include "MouseStatusLine.h"

#include "PrefsPane/Services/PaneServices.h"

MouseStatusLine::MouseStatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("mouseStatusLine"));
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Screen readers announce the line when it changes.
    setAccessibleName(qtTrId("STATUS_NAME"));
    setText(qtTrId("STATUS_CHECKING"));
    connect(&timer_, &QTimer::timeout, this, &MouseStatusLine::refresh);
    timer_.start(kIntervalMs);
    refresh();
}

MouseStatusLine::~MouseStatusLine() {
    timer_.stop();
    if (worker_) {
        worker_->wait();
    }
}

void MouseStatusLine::refresh() {
    if (worker_) {
        return; // the answer comes; asking twice would queue up behind a slow bus
    }
    worker_.reset(QThread::create([this] {
        const zed::MouseStatus status = zed::PaneServices::current().mouseStatus();
        // Dropped with the line, should it go before the answer is taken.
        QMetaObject::invokeMethod(
            this, [this, status] { take(status); }, Qt::QueuedConnection);
    }));
    worker_->start();
}

void MouseStatusLine::take(const zed::MouseStatus& status) {
    if (worker_) {
        worker_->wait();
        worker_.reset();
    }
    if (status_ == status) {
        return;
    }
    status_ = status;
    setText(describe(status));
    emit statusChanged();
}

QString MouseStatusLine::describe(const zed::MouseStatus& s) {
    QString mouse;
    if (!s.driverRunning) {
        mouse = qtTrId(s.simulated ? "STATUS_NO_SIMULATOR" : "STATUS_NO_DRIVER");
    } else if (s.mice == 0) {
        mouse = qtTrId("STATUS_NO_MOUSE");
    } else if (s.mice == 1) {
        mouse = qtTrId("STATUS_ONE_MOUSE");
    } else {
        //: %1: how many of the maker's mice are connected (two or more).
        mouse = qtTrId("STATUS_MICE").arg(s.mice);
    }
    const QString agent =
        s.agentRunning ? qtTrId("STATUS_AGENT")
                       : qtTrId(s.simulated ? "STATUS_NO_AGENT_SIMULATOR" : "STATUS_NO_AGENT");
    return mouse + QLatin1Char(' ') + agent;
}
