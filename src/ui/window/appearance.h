#pragma once

#include <QColor>
#include <QFont>

class QPalette;
class QWidget;

// The window's looks: the bold CJK sans font of its captions, and their colours, kept readable
// where the colour scheme is dark.

// The bold CJK sans of the captions at `pointSize`: the Windows font where there is one, else
// what Linux desktops have.
QFont HeiFont(qreal pointSize, bool underline = false);

// The captions' colours as chosen for a light background.
enum class CaptionColor {
    Orange, // the input box's count
    Blue,   // the output box's count and the link
};
// Gives the widget's text `color`, or on a dark `background` a lighter shade of it that stays
// readable.
void SetCaptionColor(QWidget* widget, CaptionColor color, const QColor& background);

// The contrast ratio of two colours as the WCAG defines it (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b);
// `color` itself where it stands out from `background` well enough to read, else a lighter or
// darker shade of it that does (contrast ratio 4.5).
QColor ReadableOn(const QColor& color, const QColor& background);

// The background of marked lines in a box with this palette: an amber mixed into its base colour,
// as much of it as leaves the text readable on it (contrast ratio 4.5), light on a light scheme
// and dark on a dark one.
QColor MarkColor(const QPalette& palette);
// The second shade, of the lines that would go as near repeats.
QColor NearMarkColor(const QPalette& palette);
