// A label that wraps its text onto up to three lines at the width it is
// given, shortens only what goes beyond with an ellipsis, and keeps the whole
// text in its tooltip and its accessible name, so that a long macro still
// reads completely.
#pragma once

#include <QLabel>

class SummaryLabel : public QLabel {
    Q_OBJECT

public:
    explicit SummaryLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return fullText_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    QString fullText_;
};
