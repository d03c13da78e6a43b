#pragma once

#include <QPushButton>

class QMenu;

// A push button with a drop-down arrow at its right end. A click on the button does what it says,
// as a push button does; a click on the arrow, Alt+Down, F4 or the context menu opens its menu.
// When marked, the arrow's part is drawn in the highlight colour, so that a choice away from the
// usual one shows at a glance.
class SplitButton : public QPushButton {
    Q_OBJECT
public:
    explicit SplitButton(const QString& text, QWidget* parent = nullptr);

    void setDropDownMenu(QMenu* menu) { menu_ = menu; }
    void setMarked(bool marked);
    bool isMarked() const { return marked_; }

    // The arrow's part of the button, in the button's coordinates.
    QRect arrowRect() const;
    // Opens the menu below the button.
    void showDropDown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QMenu* menu_ = nullptr;
    bool marked_ = false;
};
