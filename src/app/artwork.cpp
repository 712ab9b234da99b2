#include "app/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>
#include <cstdint>

namespace kelvara {

namespace {
// A small fixed-seed generator, so the stars are the same on every start.
class StarField {
  public:
    double Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53);
    }

  private:
    std::uint64_t state_ = 0x4b656c76617261ULL;
};

// A band between two cubic curves: out along the upper one (two control points and its end),
// down by depth, and back along the lower one, filled with a gradient along the upper curve.
void DrawBand(QPainter& painter, QPointF start, std::array<qreal, 6> upper, qreal depth,
              std::array<qreal, 6> lower, const QGradientStops& stops) {
    const QPointF end(upper[4], upper[5]);
    QPainterPath band;
    band.moveTo(start);
    band.cubicTo(upper[0], upper[1], upper[2], upper[3], end.x(), end.y());
    band.lineTo(end.x(), end.y() + depth);
    band.cubicTo(lower[0], lower[1], lower[2], lower[3], lower[4], lower[5]);
    band.closeSubpath();
    QLinearGradient gradient(start, end);
    gradient.setStops(stops);
    painter.setBrush(gradient);
    painter.drawPath(band);
}

}  // namespace

QPixmap BackgroundPicture() {
    QPixmap pixmap(560, 460);
    pixmap.fill(Qt::black);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    StarField random;
    for (int i = 0; i < 260; ++i) {
        const double x = random.Next() * 560;
        const double y = random.Next() * 460;
        const double size = 0.4 + random.Next() * random.Next() * 1.8;
        const int level = 120 + static_cast<int>(random.Next() * 135);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(level, level, std::min(255, level + 30)));
        painter.drawEllipse(QPointF(x, y), size, size);
    }

    // The abstract shape: two sweeping bands of blue light crossing the lower right.
    DrawBand(painter, {80, 470}, {180, 300, 330, 420, 570, 150}, 80, {360, 470, 220, 360, 150, 470},
             {{0.0, QColor(10, 30, 120, 0)},
              {0.4, QColor(40, 90, 220, 170)},
              {1.0, QColor(120, 200, 255, 220)}});
    DrawBand(painter, {300, 470}, {360, 330, 470, 300, 570, 330}, 30,
             {480, 340, 390, 380, 350, 470},
             {{0.0, QColor(0, 60, 160, 60)}, {1.0, QColor(90, 170, 255, 200)}});

    QRadialGradient glow(470, 260, 140);
    glow.setColorAt(0.0, QColor(60, 130, 255, 110));
    glow.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.setBrush(glow);
    painter.drawEllipse(QPointF(470, 260), 140, 140);
    return pixmap;
}

QPixmap LogoPicture() {
    QPixmap pixmap(120, 40);
    pixmap.fill(Qt::black);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Eight small cells on the left, as on the machine's face.
    for (int i = 0; i < 4; ++i) {
        const bool on = (i == 1 || i == 2);
        painter.setPen(QColor(80, 140, 255));
        painter.setBrush(on ? QColor(255, 51, 51) : QColor(20, 30, 60));
        painter.drawRect(QRectF(6 + (i % 2) * 11, 9 + (i / 2) * 11, 9, 9));
    }

    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(20);
    font.setBold(true);
    font.setItalic(true);
    painter.setFont(font);
    QLinearGradient text(0, 8, 0, 32);
    text.setColorAt(0.0, QColor(190, 225, 255));
    text.setColorAt(1.0, QColor(50, 110, 240));
    painter.setPen(QPen(QBrush(text), 1));
    painter.drawText(QRect(30, 0, 88, 40), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Kelvara"));
    return pixmap;
}

}  // namespace kelvara
