#pragma once

#include <QLabel>
#include <QTextLayout>
#include <memory>

namespace kelvara {

// The status line. Its 41-pixel height holds two lines of the 15.75-point Gothic face only at the
// face's own tight line spacing (one em a line), not at the far looser spacing the desktop font
// reports, so it lays its text out itself: wrapped to its width, lines one em less a pixel apart,
// the first line's ideographs starting at the top edge.
class StatusLabel final : public QLabel {
    Q_OBJECT

  public:
    explicit StatusLabel(QWidget* parent = nullptr);

    // The text laid out as it is drawn, in the label's coordinates.
    std::unique_ptr<QTextLayout> Layout(const QString& text) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kelvara
