#include "app/status_label.h"

#include <QPainter>
#include <QTextOption>
#include <cmath>

namespace kelvara {

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent) {}

std::unique_ptr<QTextLayout> StatusLabel::Layout(const QString& text) const {
    auto layout = std::make_unique<QTextLayout>(text, font());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    const QFontMetricsF metrics(font());
    // Ideographs reach about this far above their baseline (some a pixel further); the first
    // line's reach the top edge.
    const qreal ideographTop = -metrics.boundingRect(QChar(0x56FD)).top();
    const qreal advance = font().pixelSize() - 1;
    qreal baseline = std::ceil(ideographTop) + 1;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width());
        line.setPosition(QPointF(0, baseline - line.ascent()));
        baseline += advance;
    }
    layout->endLayout();
    return layout;
}

void StatusLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    Layout(text())->draw(&painter, QPointF(0, 0));
}

}  // namespace kelvara
