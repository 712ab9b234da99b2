#include "app/appearance.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <cmath>

namespace kelvara {

namespace {
// Fusion, with command buttons painted flat in their exact face colour and a raised
// (or, while pressed, sunken) bevel, so a cell's colour reads the same on every desktop.
class EditorStyle final : public QProxyStyle {
  public:
    EditorStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
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
        if (option->state & State_HasFocus) {
            painter->setPen(QPen(option->palette.color(QPalette::Highlight), 1));
            painter->drawRect(r.adjusted(2, 2, -2, -2));
        }
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
