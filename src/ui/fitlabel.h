#pragma once

#include <QLabel>

// A label that always shows all of its text: drawn from its top-left corner, wrapped when word
// wrap is on, and in a slightly smaller size of its font when the installed font needs more room
// than the label has. A click on it is announced by clicked().
class FitLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The point size the text is drawn at, after any shrinking to fit.
    qreal fittedPointSize() const;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
