#include "app/appearance.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <cmath>

namespace kelvara {

namespace {
// The keyboard focus, just inside the bevel r: a black band, then a white one, each two pixels
// wide, so it stands out on white, red and grey faces and on the dark frames alike. The bands
// are filled areas in the widget's own pixels, so they scale with the desktop's scale factor
// and never thin out to a hairline.
void PaintFocusRing(QPainter& painter, const QRect& r) {
    const QRectF inside = QRectF(r).adjusted(1, 1, -1, -1);  // inside the bevel on r's edges
    auto band = [&](qreal inset, const QColor& colour) {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        path.addRect(inside.adjusted(inset, inset, -inset, -inset));
        path.addRect(inside.adjusted(inset + 2, inset + 2, -inset - 2, -inset - 2));
        painter.fillPath(path, colour);
    };
    band(0, Qt::black);
    band(2, Qt::white);
}

// Fusion, with command buttons painted flat in their exact face colour and a raised
// (or, while pressed, sunken) bevel, so a cell's colour reads the same on every desktop.
class EditorStyle final : public QProxyStyle {
  public:
    EditorStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        // An option's focus: the same black and white band as a button's, around the whole
        // option, one pixel each so the caption stays clear.
        if (element == PE_FrameFocusRect && qobject_cast<const QRadioButton*>(widget) != nullptr) {
            const QRect r = widget->rect().adjusted(0, 0, -1, -1);
            painter->save();
            painter->setPen(Qt::black);
            painter->drawRect(r);
            painter->setPen(Qt::white);
            painter->drawRect(r.adjusted(1, 1, -1, -1));
            painter->restore();
            return;
        }
        if (element != PE_PanelButtonCommand) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const QRect r = option->rect.adjusted(0, 0, -1, -1);
        const bool sunken = option->state & (State_Sunken | State_On);
        const QColor face = option->palette.color(QPalette::Button);
        painter->save();
        painter->fillRect(option->rect, face);
        const QColor light = face.lighter(150);
        const QColor dark = face.darker(180);
        painter->setPen(sunken ? dark : light);
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.topLeft(), r.bottomLeft());
        painter->setPen(sunken ? light : dark);
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        if (option->state & State_HasFocus) PaintFocusRing(*painter, r);
        painter->restore();
    }
};
}  // namespace

QFont Gothic(double points, bool bold) {
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    font.setBold(bold);
    return font;
}

void ApplyAppearance(QApplication& app) {
    // Native styles may ignore per-button palette colours; this style never does.
    app.setStyle(new EditorStyle);
    app.setPalette(app.style()->standardPalette());
    app.setFont(Gothic(9));
}

}  // namespace kelvara
