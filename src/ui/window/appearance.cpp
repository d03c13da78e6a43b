#include "ui/window/appearance.h"

#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <cmath>

namespace {

// The CJK sans fonts asked for, in order: the Windows font first, then what Linux desktops have.
const QStringList kHeiFamilies = {QStringLiteral("黑体"), QStringLiteral("SimHei"),
                                  QStringLiteral("Noto Sans CJK SC"),
                                  QStringLiteral("WenQuanYi Zen Hei")};

const QColor kOrange(255, 128, 0);
const QColor kBlue(0, 0, 255);

double Luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

} // namespace

QFont HeiFont(qreal pointSize, bool underline) {
    QFont font;
    font.setFamilies(kHeiFamilies);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    font.setUnderline(underline);
    return font;
}

void SetCaptionColor(QWidget* widget, CaptionColor color, const QColor& background) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText,
               ReadableOn(color == CaptionColor::Orange ? kOrange : kBlue, background));
    widget->setPalette(p);
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& color, const QColor& background) {
    constexpr double kReadable = 4.5;
    // On a light background the colours stay as they are.
    if (Luminance(background) > 0.18 || ContrastRatio(color, background) >= kReadable)
        return color;
    QColor shade = color;
    for (int step = 1; step <= 20 && ContrastRatio(shade, background) < kReadable; ++step) {
        const double t = step / 20.0;
        shade.setRgbF(float(color.redF() + (1 - color.redF()) * t),
                      float(color.greenF() + (1 - color.greenF()) * t),
                      float(color.blueF() + (1 - color.blueF()) * t));
    }
    return shade;
}

namespace {
// The base mixed with a hue as far as the text on it stays readable.
QColor MarkShade(const QPalette& palette, const QColor& amber) {
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    auto mix = [&](double t) {
        return QColor::fromRgbF(float(base.redF() + (amber.redF() - base.redF()) * t),
                                float(base.greenF() + (amber.greenF() - base.greenF()) * t),
                                float(base.blueF() + (amber.blueF() - base.blueF()) * t));
    };
    constexpr double kReadable = 4.5;
    double t = 0.45;
    while (t > 0.15 && ContrastRatio(text, mix(t)) < kReadable)
        t -= 0.05;
    return mix(t);
}
} // namespace

QColor MarkColor(const QPalette& palette) {
    return MarkShade(palette, QColor(255, 190, 0));
}

QColor NearMarkColor(const QPalette& palette) {
    return MarkShade(palette, QColor(120, 170, 255));
}
