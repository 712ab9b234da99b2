// The window driven by the keyboard alone: the grids as single tab stops with arrow keys inside,
// the paging and trial-run keys, and the focus ring. What a screen reader reads is tested
// through the real accessibility bus (accessibility_bus_test.py).
#include <QApplication>
#include <QtTest>
#include <array>
#include <functional>

#include "app/appearance.h"
#include "app/cell_grid.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

using kelvara::CellGrid;
using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

// Counts the mouse button events the application receives.
class MouseWatch final : public QObject {
  public:
    MouseWatch() { qApp->installEventFilter(this); }
    int presses = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
            type == QEvent::MouseButtonDblClick) {
            ++presses;
        }
        return false;
    }
};

struct Window {
    FakeDialogs dialogs;
    FormMain w{dialogs};
    Window() {
        w.show();
        w.activateWindow();
    }
    QWidget* Focus() const { return QApplication::focusWidget(); }
    // Presses each key, with its modifiers, on whatever has the focus.
    void Keys(std::initializer_list<QKeyCombination> keys) const {
        for (const QKeyCombination key : keys) {
            QTest::keyClick(Focus(), key.key(), key.keyboardModifiers());
        }
    }
    QString Pattern() const {
        QString text;
        for (auto* b : w.CommandMa) text += b->text();
        return text;
    }
};

// A pattern with ON at the given (row, column) places, 1-based.
QString PatternWith(std::initializer_list<std::pair<int, int>> on) {
    QString text(64, QLatin1Char('0'));
    for (const auto& [row, column] : on) text[(row - 1) * 8 + column - 1] = QLatin1Char('1');
    return text;
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void aGliderAPlateAndATrialRunWithoutTheMouse() {
        MouseWatch mouse;
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        QCOMPARE(t.Focus(), t.w.OptionMode[0]);

        // Into the pattern at its top-left cell, then the glider.
        t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), t.w.CommandMa[0]);
        t.Keys({Qt::Key_Right, Qt::Key_Space, Qt::Key_Down, Qt::Key_Right, Qt::Key_Space,
                Qt::Key_Down, Qt::Key_Left, Qt::Key_Left, Qt::Key_Space, Qt::Key_Right,
                Qt::Key_Space, Qt::Key_Right, Qt::Key_Return});
        QCOMPARE(t.Pattern(), PatternWith({{1, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}));

        // The plate: past the pattern's buttons and the plate navigation into the condition;
        // the cell itself ON, its right neighbour OFF, the rest any; change to OFF.
        for (int i = 0; i < 9; ++i) t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), t.w.CommandIf[0]);
        t.Keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Space, Qt::Key_Return, Qt::Key_Right,
                Qt::Key_Space});
        QCOMPARE(t.w.document().IfData[1], (kelvara::Condition{2, 2, 2, 2, 1, 0, 2, 2, 2}));
        for (int i = 0; i < 5; ++i) t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), t.w.OptionAc[1]);
        t.Keys({Qt::Key_Down});
        QVERIFY(t.w.OptionAc[0]->isChecked());

        // One step: every ON cell whose right neighbour is OFF goes out.
        t.Keys({Qt::Key_F5});
        QCOMPARE(t.Pattern(), PatternWith({{3, 1}, {3, 2}}));
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("条件にマッチしたデータを変化させました。"));
        QVERIFY(t.w.CommandRe->isEnabled());
        QCOMPARE(mouse.presses, 0);
    }

    void arrowKeysWithinAGrid_data() {
        QTest::addColumn<bool>("pattern");
        QTest::addColumn<int>("from");
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("to");
        // The pattern wraps around as the machine sees it.
        QTest::newRow("pattern right") << true << 9 << QKeyCombination(Qt::Key_Right) << 10;
        QTest::newRow("pattern left wraps") << true << 8 << QKeyCombination(Qt::Key_Left) << 15;
        QTest::newRow("pattern up wraps") << true << 3 << QKeyCombination(Qt::Key_Up) << 59;
        QTest::newRow("pattern right wraps") << true << 63 << QKeyCombination(Qt::Key_Right) << 56;
        QTest::newRow("pattern down wraps") << true << 62 << QKeyCombination(Qt::Key_Down) << 6;
        QTest::newRow("pattern home") << true << 10 << QKeyCombination(Qt::Key_Home) << 8;
        QTest::newRow("pattern end") << true << 10 << QKeyCombination(Qt::Key_End) << 15;
        QTest::newRow("pattern ctrl+home")
            << true << 27 << QKeyCombination(Qt::ControlModifier, Qt::Key_Home) << 0;
        QTest::newRow("pattern ctrl+end")
            << true << 27 << QKeyCombination(Qt::ControlModifier, Qt::Key_End) << 63;
        QTest::newRow("pattern ctrl+up")
            << true << 27 << QKeyCombination(Qt::ControlModifier, Qt::Key_Up) << 3;
        QTest::newRow("pattern ctrl+right")
            << true << 27 << QKeyCombination(Qt::ControlModifier, Qt::Key_Right) << 31;
        // The neighbourhood has edges: the focus stays there.
        QTest::newRow("condition down") << false << 1 << QKeyCombination(Qt::Key_Down) << 4;
        QTest::newRow("condition left stops") << false << 3 << QKeyCombination(Qt::Key_Left) << 3;
        QTest::newRow("condition up stops") << false << 2 << QKeyCombination(Qt::Key_Up) << 2;
        QTest::newRow("condition right stops") << false << 5 << QKeyCombination(Qt::Key_Right) << 5;
        QTest::newRow("condition down stops") << false << 7 << QKeyCombination(Qt::Key_Down) << 7;
        QTest::newRow("condition ctrl+end")
            << false << 0 << QKeyCombination(Qt::ControlModifier, Qt::Key_End) << 8;
    }

    void arrowKeysWithinAGrid() {
        QFETCH(bool, pattern);
        QFETCH(int, from);
        QFETCH(QKeyCombination, key);
        QFETCH(int, to);
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        CellGrid* grid = pattern ? t.w.GridMa : t.w.GridIf;
        grid->cell(0)->setFocus(Qt::TabFocusReason);
        grid->setCurrent(from);
        QCOMPARE(t.Focus(), grid->cell(from));
        const QString before = t.Pattern();
        t.Keys({key});
        QCOMPARE(t.Focus(), grid->cell(to));
        QCOMPARE(grid->current(), to);
        QCOMPARE(t.Pattern(), before);  // moving changes nothing
        for (int i = 0; i < grid->count(); ++i) {
            QCOMPARE(grid->cell(i)->focusPolicy(), i == to ? Qt::TabFocus : Qt::NoFocus);
        }
    }

    void eachGridIsOneTabStopInTheWindowsOrder() {
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        FormMain& w = t.w;
        const QList<QWidget*> order = {
            w.OptionMode[0], w.CommandMa[0],    w.CommandMaRnd,    w.CommandMa0,    w.CommandMa1,
            w.CommandMaRe,   w.CommandPrevious, w.TextPlateNum,    w.CommandNext,   w.CommandDel,
            w.CommandIf[0],  w.CommandIfB[0],   w.CommandIfB[1],   w.CommandIfB[2], w.CommandIfB[3],
            w.OptionAc[1],   w.CommandSe,       w.CommandSendData, w.CommandRead,   w.CommandClose,
            w.OptionMode[0]};
        QList<QWidget*> visited{t.Focus()};
        for (int i = 1; i < order.size(); ++i) {
            t.Keys({Qt::Key_Tab});
            visited << t.Focus();
        }
        QCOMPARE(visited, order);
        // A grid is re-entered at the cell the user left, from either side.
        w.GridMa->cell(0)->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Tab});
        QCOMPARE(t.Focus(), w.CommandMaRnd);
        t.Keys({QKeyCombination(Qt::ShiftModifier, Qt::Key_Backtab)});
        QCOMPARE(t.Focus(), w.CommandMa[9]);
        // In life game mode the condition grid is passed over with its buttons.
        w.OptionMode[1]->click();
        w.CommandDel->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), w.CommandSe);
    }

    void spaceAndEnterClickTheFocusedCellAsTheMouseDoes() {
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.w.CommandSe->click();  // the default plate turns every cell ON; undo is available
        QVERIFY(t.w.CommandRe->isEnabled());
        t.w.GridIf->cell(0)->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_Space, Qt::Key_Enter, Qt::Key_Return});
        QCOMPARE(t.w.CommandIf[0]->text(), QStringLiteral("*"));  // any, OFF, ON, any
        t.w.GridMa->cell(0)->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_Return});
        QCOMPARE(t.w.CommandMa[0]->text(), QStringLiteral("0"));
        QVERIFY(!t.w.CommandRe->isEnabled());  // a pattern edit, as a click is
        // A held Enter clicks once, as a held Space does.
        QTest::keyPress(t.Focus(), Qt::Key_Return);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(t.Focus(), &repeat);
        QTest::keyRelease(t.Focus(), Qt::Key_Return);
        QCOMPARE(t.w.CommandMa[0]->text(), QStringLiteral("1"));
    }

    void pagingAndTrialKeysWorkFromTheNumberBox() {
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.w.TextPlateNum->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_PageDown, Qt::Key_PageDown});
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("3/3"));
        QCOMPARE(t.w.TextPlateNum->text(), QStringLiteral("3"));
        QVERIFY(t.w.TextPlateNum->accessibleDescription().contains(QStringLiteral("全3枚")));
        t.Keys({Qt::Key_PageUp});
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("2/3"));
        QVERIFY(t.dialogs.boxes.empty());
        t.Keys({Qt::Key_F5});  // the default plate turns every cell ON
        QCOMPARE(t.Pattern(), QString(64, QLatin1Char('1')));
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/3"));  // a trial run ends on plate 1
        // The keys are shown where the mouse user looks for them.
        QCOMPARE(t.w.CommandSe->toolTip(),
                 QStringLiteral("ソフト上でシュミレーションします。（F5）"));
        QVERIFY(t.w.CommandPrevious->toolTip().endsWith(QStringLiteral("（PageUp）")));
        QVERIFY(t.w.CommandNext->toolTip().endsWith(QStringLiteral("（PageDown）")));
        QCOMPARE(t.w.CommandNext->text(), QStringLiteral("→"));
    }

    // The focused cell wears a black band and a white band just inside its bevel, on every
    // face colour and at the scale factors desktops use.
    void theFocusRingShowsOnEveryFaceAtEveryScale_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<qreal>("scale");
        for (const qreal scale : {1.0, 1.25, 1.5, 2.0}) {
            for (const int value : {0, 1, 2}) {
                QTest::addRow("value %d at %.2f", value, scale) << value << scale;
            }
        }
    }

    void theFocusRingShowsOnEveryFaceAtEveryScale() {
        QFETCH(int, value);
        QFETCH(qreal, scale);
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.w.document().IfData[1].fill(static_cast<std::int16_t>(value));
        t.w.RefreshData(1);
        QPushButton* cell = t.w.CommandIf[4];
        auto draw = [&] {
            QImage image((QSizeF(cell->size()) * scale).toSize(), QImage::Format_RGB32);
            image.setDevicePixelRatio(scale);
            cell->render(&image);
            return image;
        };
        // From the middle of each side inwards, six pixels deep: the fewest black and white
        // pixels any side shows.
        auto ring = [&](const QImage& image) {
            const int depth = qRound(6 * scale);
            const int w = image.width() - 1;
            const int h = image.height() - 1;
            const std::array<std::function<QPoint(int)>, 4> sides = {
                [&](int d) { return QPoint(d, h / 2); },
                [&](int d) { return QPoint(w - d, h / 2); },
                [&](int d) { return QPoint(w / 2, d); },
                [&](int d) { return QPoint(w / 2, h - d); }};
            int dark = 1000;
            int light = 1000;
            for (const auto& side : sides) {
                int sideDark = 0;
                int sideLight = 0;
                for (int d = 0; d < depth; ++d) {
                    const QColor c = image.pixelColor(side(d));
                    sideDark += c.red() < 40 && c.green() < 40 && c.blue() < 40;
                    sideLight += c.red() > 230 && c.green() > 230 && c.blue() > 230;
                }
                dark = std::min(dark, sideDark);
                light = std::min(light, sideLight);
            }
            return std::pair{dark, light};
        };
        QCOMPARE(ring(draw()).first, 0);  // no ring without the focus
        cell->setFocus(Qt::TabFocusReason);
        QVERIFY(cell->hasFocus());
        const auto [dark, light] = ring(draw());
        // Every side shows both bands, about two pixels each at the scale.
        const int band = std::max(1, qFloor(2 * scale) - 1);
        QVERIFY2(dark >= band && light >= band,
                 qPrintable(QStringLiteral("black %1, white %2").arg(dark).arg(light)));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
