// The window driven by the keyboard alone: the grids as single tab stops with arrow keys inside,
// the paging and trial-run keys, the focus ring. What a screen reader reads is tested through
// the real accessibility bus (accessibility_bus_test.py).
#include <QApplication>
#include <QtTest>
#include <string>
#include <utility>

#include "../device/fake_device.h"
#include "app/appearance.h"
#include "app/cell_grid.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

using kelvara::FormMain;

namespace {

// A machine that answers at once, holding the new document.
class AnsweringLine final : public kelvara::SerialLine {
  public:
    void SelectPort(std::int16_t) override {}
    bool Open() override {
        device_ = {};
        device_.reply = "*01" + std::string(16, '0') + "aaaa90*";
        return open_ = true;
    }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    void Write(std::string_view text) override { pending_ += device_.Take(text); }
    std::string ReadAll() override { return std::exchange(pending_, {}); }

  private:
    kelvara::fakes::FakeDevice device_;
    bool open_ = false;
    std::string pending_;
};

struct Window {
    kelvara::test::FakeDialogs dialogs;
    AnsweringLine line;
    FormMain w{dialogs, &line};
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

// Counts the mouse button events the application receives while it lives.
struct MouseWatch final : QObject {
    int events = 0;
    MouseWatch() { qApp->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        events += e->type() == QEvent::MouseButtonPress ||
                  e->type() == QEvent::MouseButtonRelease ||
                  e->type() == QEvent::MouseButtonDblClick;
        return false;
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

        // One Tab into the pattern's top-left cell, then the glider.
        t.Keys({Qt::Key_Tab, Qt::Key_Right, Qt::Key_Space, Qt::Key_Down, Qt::Key_Right,
                Qt::Key_Space, Qt::Key_Down, Qt::Key_Left, Qt::Key_Left, Qt::Key_Space,
                Qt::Key_Right, Qt::Key_Space, Qt::Key_Right, Qt::Key_Return});
        QCOMPARE(t.Pattern(), PatternWith({{1, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}));

        // Past the pattern's four buttons and the plate navigation, each grid one tab stop:
        // the cell itself ON, its right neighbour OFF, the rest any; change to OFF.
        for (int i = 0; i < 9; ++i) t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), t.w.CommandIf[0]);
        t.Keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Space, Qt::Key_Enter, Qt::Key_Right,
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
        QCOMPARE(mouse.events, 0);
    }

    void arrowKeysWithinAGrid_data() {
        QTest::addColumn<bool>("pattern");
        QTest::addColumn<int>("from");
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("to");
        // The pattern wraps around as the machine sees it; the neighbourhood stops at its edges.
        QTest::newRow("pattern left wraps") << true << 8 << QKeyCombination(Qt::Key_Left) << 15;
        QTest::newRow("pattern up wraps") << true << 3 << QKeyCombination(Qt::Key_Up) << 59;
        QTest::newRow("pattern end") << true << 10 << QKeyCombination(Qt::Key_End) << 15;
        QTest::newRow("pattern ctrl+home")
            << true << 27 << QKeyCombination(Qt::ControlModifier, Qt::Key_Home) << 0;
        QTest::newRow("pattern ctrl+up")
            << true << 27 << QKeyCombination(Qt::ControlModifier, Qt::Key_Up) << 3;
        QTest::newRow("condition left stops") << false << 3 << QKeyCombination(Qt::Key_Left) << 3;
        QTest::newRow("condition down stops") << false << 7 << QKeyCombination(Qt::Key_Down) << 7;
    }

    void arrowKeysWithinAGrid() {
        QFETCH(bool, pattern);
        QFETCH(int, from);
        QFETCH(QKeyCombination, key);
        QFETCH(int, to);
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        kelvara::CellGrid* grid = pattern ? t.w.GridMa : t.w.GridIf;
        grid->cell(0)->setFocus(Qt::TabFocusReason);
        grid->setCurrent(from);
        t.Keys({key});
        QCOMPARE(t.Focus(), grid->cell(to));
        // Tab comes back to this cell and to no other.
        for (int i = 0; i < grid->count(); ++i) {
            QCOMPARE(grid->cell(i)->focusPolicy(), i == to ? Qt::TabFocus : Qt::NoFocus);
        }
    }

    void pagingKeysWorkFromTheNumberBoxAndShowInTooltips() {
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.w.TextPlateNum->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp});
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("2/3"));
        QCOMPARE(t.w.TextPlateNum->text(), QStringLiteral("2"));
        QVERIFY(t.dialogs.boxes.empty());  // nothing was typed into the box
        QCOMPARE(t.w.CommandSe->toolTip(), QStringLiteral("ソフト上でシュミレーションします。"));
        QVERIFY(t.w.CommandSe->accessibleDescription().contains(QStringLiteral("F5")));
        QVERIFY(t.w.CommandPrevious->toolTip().endsWith(QStringLiteral("（PageUp）")));
        QVERIFY(t.w.CommandNext->toolTip().endsWith(QStringLiteral("（PageDown）")));
    }

    // The option groups are one tab stop each, on the checked option; the arrows select within
    // them, ↑ and ↓ also in the side-by-side mode pair; the focused option wears the band.
    void optionGroupsAreOneTabStopOnTheCheckedOption() {
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.w.document().AcData[2] = kelvara::kMethodRandom;
        t.w.CommandNext->click();  // plate 2, method ランダム
        QVERIFY(t.w.OptionAc[3]->isChecked());
        t.w.CommandIfB[3]->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), t.w.OptionAc[3]);
        QCOMPARE(t.w.document().AcData[2], kelvara::kMethodRandom);  // landing changed nothing
        t.Keys({Qt::Key_Up});
        QVERIFY(t.w.OptionAc[2]->isChecked());
        QCOMPARE(t.Focus(), t.w.OptionAc[2]);
        t.Keys({Qt::Key_Tab});
        QCOMPARE(t.Focus(), t.w.CommandSe);  // out of the group in one Tab
        const QImage unfocused = t.w.OptionAc[2]->grab().toImage();
        QCOMPARE(unfocused.pixelColor(40, 0), t.w.OptionAc[2]->palette().color(QPalette::Window));
        t.w.OptionAc[2]->setFocus(Qt::TabFocusReason);
        const QImage focused = t.w.OptionAc[2]->grab().toImage();
        QCOMPARE(focused.pixelColor(40, 0), QColor(Qt::black));
        QCOMPARE(focused.pixelColor(40, 1), QColor(Qt::white));

        t.w.OptionMode[0]->setFocus(Qt::TabFocusReason);
        t.Keys({Qt::Key_Down});
        QVERIFY(t.w.OptionMode[1]->isChecked());
        QVERIFY(!t.w.CommandIf[0]->isEnabled());
        t.Keys({Qt::Key_Up});
        QVERIFY(t.w.OptionMode[0]->isChecked());
    }

    // A transfer started from the keyboard leaves the focus on its button: it never moves on to
    // "終了", where the next Space would end the editor.
    void aTransferLeavesTheFocusOnItsButton() {
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        for (QPushButton* button : {t.w.CommandSendData, t.w.CommandRead}) {
            button->setFocus(Qt::TabFocusReason);
            t.Keys({Qt::Key_Space});
            QVERIFY(t.w.editor().transferBusy());
            QVERIFY(t.Focus() != t.w.CommandClose);
            t.Keys({Qt::Key_Space});  // nothing to press meanwhile
            QTRY_VERIFY(!t.w.editor().transferBusy());
            QCOMPARE(t.Focus(), button);
            QVERIFY(t.w.isVisible());
        }
    }

    // The focused cell wears a black and a white band inside its bevel, on every face colour
    // and at the scale factors desktops use.
    void theFocusRingShowsOnEveryFaceAtEveryScale_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<qreal>("scale");
        for (const qreal scale : {1.0, 1.25, 1.5, 2.0}) {
            for (const int value : {0, 1, 2})
                QTest::addRow("%d at %.2f", value, scale) << value << scale;
        }
    }

    void theFocusRingShowsOnEveryFaceAtEveryScale() {
        QFETCH(int, value);
        QFETCH(qreal, scale);
        Window t;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.w.document().IfData[1].fill(static_cast<std::int16_t>(value));
        t.w.editor().RefreshData(1);
        QPushButton* cell = t.w.CommandIf[4];
        // The fewest black and white pixels on a line six pixels in from the middle of a side.
        auto ring = [&] {
            QImage image((QSizeF(cell->size()) * scale).toSize(), QImage::Format_RGB32);
            image.setDevicePixelRatio(scale);
            cell->render(&image);
            const int w = image.width() - 1, h = image.height() - 1;
            int dark = 1000, light = 1000;
            for (const auto& [start, step] : {std::pair{QPoint(0, h / 2), QPoint(1, 0)},
                                              {QPoint(w, h / 2), QPoint(-1, 0)},
                                              {QPoint(w / 2, 0), QPoint(0, 1)},
                                              {QPoint(w / 2, h), QPoint(0, -1)}}) {
                int sideDark = 0, sideLight = 0;
                for (int d = 0; d < qRound(6 * scale); ++d) {
                    const QColor c = image.pixelColor(start + d * step);
                    sideDark += qMax(c.red(), qMax(c.green(), c.blue())) < 40;
                    sideLight += qMin(c.red(), qMin(c.green(), c.blue())) > 230;
                }
                dark = qMin(dark, sideDark);
                light = qMin(light, sideLight);
            }
            return std::pair{dark, light};
        };
        QCOMPARE(ring().first, 0);  // no ring without the focus
        cell->setFocus(Qt::TabFocusReason);
        const auto [dark, light] = ring();
        const int band = qMax(1, qFloor(2 * scale) - 1);  // about two pixels each, scaled
        QVERIFY2(dark >= band && light >= band,
                 qPrintable(QStringLiteral("%1 %2").arg(dark).arg(light)));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
