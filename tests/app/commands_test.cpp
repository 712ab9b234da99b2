// The editing, trial-run and undo commands, driven through the real controls.
#include <QApplication>
#include <QtTest>

#include "app/appearance.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

QString Pattern(const FormMain& w) {
    QString text;
    for (auto* b : w.CommandMa) text += b->text();
    return text;
}

struct Window {
    FakeDialogs dialogs;
    FormMain w{
        dialogs, nullptr,
        std::make_unique<kelvara::test::ScriptedRandom>(std::vector<double>{0.0, 0.5, 0.99})};
};

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void pagingAddsPlatesUpToFifty() {
        Window t;
        for (int i = 0; i < 49; ++i) Click(t.w.CommandNext);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("50/50"));
        Click(t.w.CommandNext);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("50/50"));
        QCOMPARE(t.w.TextPlateNum->text(), QStringLiteral("50"));
        for (auto* b : t.w.CommandIf) QCOMPARE(b->text(), QStringLiteral("*"));
        QVERIFY(t.w.OptionAc[1]->isChecked());
        for (int i = 0; i < 48; ++i) Click(t.w.CommandPrevious);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("2/50"));
        Click(t.w.CommandPrevious);
        Click(t.w.CommandPrevious);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/50"));
    }

    void deleteShiftsPlatesAndRefusesTheLastOne() {
        Window t;
        Click(t.w.CommandDel);
        QCOMPARE(t.dialogs.boxes.size(), size_t(1));
        QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("これ以上プレートを削除できません"));
        QCOMPARE(t.dialogs.boxes[0].title, QStringLiteral("エラー"));
        QVERIFY(t.dialogs.boxes[0].icon == kelvara::Dialogs::Icon::None);

        // Plates A (all OFF), B (all ON), C (OFF method); delete B.
        Click(t.w.CommandIfB[1]);
        Click(t.w.CommandNext);
        Click(t.w.CommandIfB[2]);
        Click(t.w.CommandNext);
        Click(t.w.OptionAc[0]);
        Click(t.w.CommandPrevious);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("2/3"));
        Click(t.w.CommandDel);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("2/2"));
        QVERIFY(t.w.OptionAc[0]->isChecked());  // C moved into place 2
        for (auto* b : t.w.CommandIf) QCOMPARE(b->text(), QStringLiteral("*"));
        Click(t.w.CommandNext);  // the vacated slot 3 holds the defaults
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("3/3"));
        QVERIFY(t.w.OptionAc[1]->isChecked());
        Click(t.w.CommandDel);  // the last plate: the one before becomes current
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("2/2"));
        QCOMPARE(t.dialogs.boxes.size(), size_t(1));
    }

    void plateNumberBoxFollowsItsRules() {
        Window t;
        for (int i = 0; i < 4; ++i) Click(t.w.CommandNext);
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("5/5"));

        // Typing "12" passes through plate 1 and then reports plate 12 once.
        t.w.TextPlateNum->selectAll();
        QTest::keyClicks(t.w.TextPlateNum, QStringLiteral("12"));
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/5"));
        QCOMPARE(t.w.TextPlateNum->text(), QStringLiteral("12"));
        QCOMPARE(t.dialogs.boxes.size(), size_t(1));
        QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("現在そのプレートは作られてません"));
        QCOMPARE(t.dialogs.boxes[0].title, QStringLiteral("エラー"));

        const struct {
            const char* typed;
            const char* shown;
            const char* label;
        } cases[] = {{"0", "1", "1/5"},     {"4", "4", "4/5"},
                     {"-3", "1", "1/5"},    {"2.7", "2", "2/5"},
                     {"abc", "abc", "2/5"}, {"-", "-", "2/5"},
                     {"", "", "2/5"},       {"99999999999", "99999999999", "2/5"}};
        size_t expectedBoxes = 1;
        for (const auto& c : cases) {
            const bool error = QByteArray(c.typed) == "abc" || QByteArray(c.typed) == "-" ||
                               QByteArray(c.typed) == "99999999999";
            t.w.TextPlateNum->setText(QString::fromUtf8(c.typed));
            if (error) ++expectedBoxes;
            QCOMPARE(t.w.TextPlateNum->text(), QString::fromUtf8(c.shown));
            QCOMPARE(t.w.LabelPlate->text(), QString::fromUtf8(c.label));
            QCOMPARE(t.dialogs.boxes.size(), expectedBoxes);
        }
    }

    void conditionCommandsTouchOnlyTheCurrentPlate() {
        Window t;
        auto& doc = t.w.document();
        doc.IfData[1][0] = 7;  // as a hand-edited file can bring
        t.w.SetAll();
        Click(t.w.CommandIf[0]);
        QCOMPARE(doc.IfData[1][0], std::int16_t(0));
        QCOMPARE(t.w.CommandIf[0]->text(), QStringLiteral("0"));
        Click(t.w.CommandIf[0]);
        Click(t.w.CommandIf[0]);
        QCOMPARE(t.w.CommandIf[0]->text(), QStringLiteral("*"));

        Click(t.w.CommandNext);
        Click(t.w.OptionAc[2]);
        Click(t.w.CommandIfB[0]);  // draws 0.0, 0.5, 0.99, ... -> 0, 1, 2, ...
        QCOMPARE(t.w.CommandIf[0]->text() + t.w.CommandIf[1]->text() + t.w.CommandIf[2]->text(),
                 QStringLiteral("01*"));
        Click(t.w.CommandIfB[1]);
        for (auto* b : t.w.CommandIf) QCOMPARE(b->text(), QStringLiteral("0"));
        Click(t.w.CommandIfB[3]);
        QCOMPARE(doc.AcData[2], std::int16_t(2));
        Click(t.w.CommandPrevious);
        QCOMPARE(doc.IfData[1][0], std::int16_t(2));
        QCOMPARE(doc.IfData[1][1], std::int16_t(2));
        QCOMPARE(doc.AcData[1], std::int16_t(1));
        QVERIFY(t.w.OptionAc[1]->isChecked());
    }

    void patternCommandsDisableUndoButKeepTheBackup() {
        Window t;
        auto& doc = t.w.document();
        Click(t.w.CommandSe);  // one all-any ON plate: everything ON
        QVERIFY(t.w.CommandRe->isEnabled());
        QCOMPARE(Pattern(t.w), QString(64, '1'));
        const auto backup = doc.MaBackup;

        QAbstractButton* commands[] = {t.w.CommandMa[9], t.w.CommandMa0, t.w.CommandMa1,
                                       t.w.CommandMaRe, t.w.CommandMaRnd};
        for (auto* command : commands) {
            Click(t.w.CommandSe);
            QVERIFY(t.w.CommandRe->isEnabled());
            Click(command);
            QVERIFY2(!t.w.CommandRe->isEnabled(), qPrintable(command->text()));
        }
        QCOMPARE(doc.MaBackup, backup);

        Click(t.w.CommandMa0);
        Click(t.w.CommandMaRe);
        QCOMPARE(Pattern(t.w), QString(64, '1'));
        Click(t.w.CommandMa[9]);
        Click(t.w.CommandMa[9]);
        QCOMPARE(Pattern(t.w), QString(64, '1'));
        doc.MaData[5] = 7;
        Click(t.w.CommandMa[5]);
        QCOMPARE(doc.MaData[5], std::int16_t(7));

        // Life game mode leaves the pattern commands working.
        Click(t.w.OptionMode[1]);
        Click(t.w.CommandMa0);
        QCOMPARE(Pattern(t.w), QString(64, '0'));
        Click(t.w.CommandMa[0]);
        QCOMPARE(t.w.CommandMa[0]->text(), QStringLiteral("1"));
    }

    void trialRunUndoAndModeSwitch() {
        Window t;
        auto& doc = t.w.document();
        // Life game first: undo stays disabled.
        Click(t.w.OptionMode[1]);
        for (auto* b : t.w.CommandIf) QVERIFY(!b->isEnabled());
        QVERIFY(t.w.CommandNext->isEnabled());
        QVERIFY(t.w.CommandDel->isEnabled());
        Click(t.w.CommandSe);
        QVERIFY(!t.w.CommandRe->isEnabled());
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("ライフゲームスタート"));
        Click(t.w.OptionMode[0]);
        for (auto* b : t.w.CommandIf) QVERIFY(b->isEnabled());
        QCOMPARE(doc.GameMode, std::int16_t(0));

        // No match: the pattern stays, undo is enabled all the same.
        Click(t.w.CommandIfB[2]);  // all nine cells must be ON, on both plates
        Click(t.w.CommandNext);
        Click(t.w.CommandIfB[2]);
        Click(t.w.CommandSe);
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("条件にマッチするデータがありませんした。"));
        QVERIFY(t.w.CommandRe->isEnabled());
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/2"));  // the step leaves plate 1
        QCOMPARE(Pattern(t.w), QString(64, '0'));

        // A blinker: a normal step, then a life step, then undo twice.
        Click(t.w.CommandIfB[1]);  // plate 1: a cell in an empty neighbourhood turns ON
        for (int i : {25, 26, 27}) Click(t.w.CommandMa[i]);
        Click(t.w.CommandSe);
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("条件にマッチしたデータを変化させました。"));
        const QString afterStep = Pattern(t.w);
        Click(t.w.OptionMode[1]);
        Click(t.w.CommandSe);
        QVERIFY(Pattern(t.w) != afterStep);
        Click(t.w.CommandRe);
        QCOMPARE(t.w.LabelMes->text(),
                 QStringLiteral("試しに動かしたデータをもとにもどしました。"));
        QString blinker(64, '0');
        for (int i : {25, 26, 27}) blinker[i] = '1';
        QCOMPARE(Pattern(t.w), blinker);
        Click(t.w.CommandRe);
        QCOMPARE(Pattern(t.w), blinker);
        QVERIFY(t.w.CommandRe->isEnabled());
        QVERIFY(t.w.statusTimer().enabled);
    }

    void thePlateBoxTakesWhatAJapaneseInputMethodTypes() {
        Window t;
        for (int i = 0; i < 11; ++i) Click(t.w.CommandNext);
        t.w.TextPlateNum->clear();
        // The input method commits each full-width digit as it is typed.
        for (const QString& digit : {QStringLiteral("１"), QStringLiteral("２")}) {
            QInputMethodEvent commit;
            commit.setCommitString(digit);
            QApplication::sendEvent(t.w.TextPlateNum, &commit);
        }
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("12/12"));
        QCOMPARE(t.w.TextPlateNum->text(), QStringLiteral("12"));
        QVERIFY(t.dialogs.boxes.empty());
        t.w.TextPlateNum->setText(QStringLiteral("\u3000－３"));
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/12"));
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
