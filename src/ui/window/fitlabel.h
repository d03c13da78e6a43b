#pragma once

#include <QLabel>

// A label that always shows all of its text: drawn from its top-left corner, wrapped when word
// wrap is on, and in a slightly smaller size of its font when the installed font needs more room
// than the label has.
//
// As a link (setLink), it reacts to clicks on its text only, takes the keyboard focus in its tab
// place and shows it with a focus frame, is pressed with Enter or Space, and is announced to
// screen readers as a link. Either way, a press is announced by clicked().
class FitLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The point size the text is drawn at, after any shrinking to fit.
    qreal fittedPointSize() const;
    // Where the text is drawn, in the label's coordinates.
    QRectF drawnTextRect() const;

    void setLink(bool on);
    bool isLink() const { return link_; }
    // Presses the link (as a click on its text does).
    void activate() { emit clicked(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool link_ = false;
};
