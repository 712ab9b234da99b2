// The editing, trial-run, undo, display and status commands of the window, through the editor's
// event functions and what it tells its view.
#include <gtest/gtest.h>

#include "editor_fakes.h"

namespace kelvara {
namespace {

using test::Window;

const Rgb kWhite{255, 255, 255};
const Rgb kRed{255, 51, 51};
const Rgb kGrey{170, 170, 170};

TEST(EditorTest, StartUpShowsTheNewDocument) {
    Window t;
    EXPECT_EQ(t.view.title, "KelvaraEditor");
    EXPECT_EQ(t.view.plateLabel, "1/1");
    EXPECT_EQ(t.view.plateNumber, "1");
    EXPECT_EQ(t.view.status, "KelvaraEditor");
    EXPECT_TRUE(t.view.announced.empty());
    for (int c = 0; c < kConditionCells; ++c) {
        EXPECT_EQ(t.view.condition[c], "*");
        EXPECT_EQ(t.view.conditionFace[c], kGrey);
    }
    EXPECT_EQ(t.view.Pattern(), std::string(64, '0'));
    EXPECT_EQ(t.view.patternFace[0], kWhite);
    EXPECT_EQ(t.view.method, 1);
    EXPECT_EQ(t.view.mode, 0);
    EXPECT_FALSE(t.view.Enabled(Control::kUndo));
    EXPECT_TRUE(t.view.Enabled(Control::kSendData));
    EXPECT_TRUE(t.view.Enabled(Control::kRead));
    EXPECT_FALSE(t.view.Enabled(Control::kStopKey));
    EXPECT_EQ(t.view.checkedPort, 0);
    EXPECT_TRUE(t.view.timerRunning);
}

TEST(EditorTest, PagingAddsPlatesUpToFifty) {
    Window t;
    for (int i = 0; i < 49; ++i) t.editor.CommandNextClick();
    EXPECT_EQ(t.view.plateLabel, "50/50");
    t.editor.CommandNextClick();
    EXPECT_EQ(t.view.plateLabel, "50/50");
    EXPECT_EQ(t.view.plateNumber, "50");
    for (const std::string& cell : t.view.condition) EXPECT_EQ(cell, "*");
    EXPECT_EQ(t.view.method, 1);
    for (int i = 0; i < 48; ++i) t.editor.CommandPreviousClick();
    EXPECT_EQ(t.view.plateLabel, "2/50");
    t.editor.CommandPreviousClick();
    t.editor.CommandPreviousClick();
    EXPECT_EQ(t.view.plateLabel, "1/50");
}

TEST(EditorTest, DeleteShiftsPlatesAndRefusesTheLastOne) {
    Window t;
    t.editor.CommandDelClick();
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].text, "これ以上プレートを削除できません");
    EXPECT_EQ(t.view.boxes[0].title, "エラー");
    EXPECT_EQ(t.view.boxes[0].icon, Box::Icon::kNone);

    // Plates A (all OFF), B (all ON), C (OFF method); delete B.
    t.editor.CommandIfBClick(1);
    t.editor.CommandNextClick();
    t.editor.CommandIfBClick(2);
    t.editor.CommandNextClick();
    t.editor.OptionAcClick(0);
    t.view.method = 0;  // the click selected it
    t.editor.CommandPreviousClick();
    EXPECT_EQ(t.view.plateLabel, "2/3");
    t.editor.CommandDelClick();
    EXPECT_EQ(t.view.plateLabel, "2/2");
    EXPECT_EQ(t.view.method, 0);  // C moved into place 2
    for (const std::string& cell : t.view.condition) EXPECT_EQ(cell, "*");
    t.editor.CommandNextClick();  // the vacated slot 3 holds the defaults
    EXPECT_EQ(t.view.plateLabel, "3/3");
    EXPECT_EQ(t.view.method, 1);
    t.editor.CommandDelClick();  // the last plate: the one before becomes current
    EXPECT_EQ(t.view.plateLabel, "2/2");
    EXPECT_EQ(t.view.boxes.size(), 1u);
}

TEST(EditorTest, PlateNumberBoxFollowsItsRules) {
    Window t;
    for (int i = 0; i < 4; ++i) t.editor.CommandNextClick();
    EXPECT_EQ(t.view.plateLabel, "5/5");

    // Typing "12" passes through plate 1 and then reports plate 12 once.
    t.editor.TextPlateNumChange("1");
    t.view.plateNumber = "1";
    t.editor.TextPlateNumChange("12");
    t.view.plateNumber = "12";
    EXPECT_EQ(t.view.plateLabel, "1/5");
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].text, "現在そのプレートは作られてません");
    EXPECT_EQ(t.view.boxes[0].title, "エラー");

    const struct {
        const char* typed;
        const char* shown;
        const char* label;
        bool error;
    } cases[] = {{"0", "1", "1/5", false},
                 {"4", "4", "4/5", false},
                 {"-3", "1", "1/5", false},
                 {"2.7", "2", "2/5", false},
                 {"abc", "abc", "2/5", true},
                 {"-", "-", "2/5", true},
                 {"", "", "2/5", false},
                 {"99999999999", "99999999999", "2/5", true},
                 {"\u3000－３", "1", "1/5", false},
                 {"１２", "１２", "1/5", true}};
    std::size_t boxes = 1;
    for (const auto& c : cases) {
        t.view.plateNumber = c.typed;  // the user's text, as the box shows it
        t.editor.TextPlateNumChange(c.typed);
        boxes += c.error;
        EXPECT_EQ(t.view.plateNumber, c.shown) << c.typed;
        EXPECT_EQ(t.view.plateLabel, c.label) << c.typed;
        EXPECT_EQ(t.view.boxes.size(), boxes) << c.typed;
    }
}

TEST(EditorTest, ConditionCommandsTouchOnlyTheCurrentPlate) {
    Window t;
    Document& doc = t.doc();
    doc.IfData[1][0] = 7;  // as a hand-edited file can bring
    t.editor.SetAll();
    t.editor.CommandIfClick(0);
    EXPECT_EQ(doc.IfData[1][0], 0);
    EXPECT_EQ(t.view.condition[0], "0");
    EXPECT_EQ(t.view.conditionFace[0], kWhite);
    t.editor.CommandIfClick(0);
    EXPECT_EQ(t.view.conditionFace[0], kRed);
    t.editor.CommandIfClick(0);
    EXPECT_EQ(t.view.condition[0], "*");

    t.editor.CommandNextClick();
    t.editor.OptionAcClick(2);
    t.editor.CommandIfBClick(0);  // draws 0.0, 0.5, 0.99, ... -> 0, 1, 2, ...
    EXPECT_EQ(t.view.condition[0] + t.view.condition[1] + t.view.condition[2], "01*");
    t.editor.CommandIfBClick(1);
    for (const std::string& cell : t.view.condition) EXPECT_EQ(cell, "0");
    t.editor.CommandIfBClick(3);
    EXPECT_EQ(doc.AcData[2], 2);
    t.editor.CommandPreviousClick();
    EXPECT_EQ(doc.IfData[1][0], 2);
    EXPECT_EQ(doc.IfData[1][1], 2);
    EXPECT_EQ(doc.AcData[1], 1);
    EXPECT_EQ(t.view.method, 1);
}

TEST(EditorTest, PatternCommandsDisableUndoButKeepTheBackup) {
    Window t;
    Document& doc = t.doc();
    t.editor.CommandSeClick();  // one all-any ON plate: everything ON
    EXPECT_TRUE(t.view.Enabled(Control::kUndo));
    EXPECT_EQ(t.view.Pattern(), std::string(64, '1'));
    const Pattern backup = doc.MaBackup;

    const std::function<void()> commands[] = {
        [&] { t.editor.CommandMaClick(9); }, [&] { t.editor.CommandMa0Click(); },
        [&] { t.editor.CommandMa1Click(); }, [&] { t.editor.CommandMaReClick(); },
        [&] { t.editor.CommandMaRndClick(); }};
    for (const auto& command : commands) {
        t.editor.CommandSeClick();
        EXPECT_TRUE(t.view.Enabled(Control::kUndo));
        command();
        EXPECT_FALSE(t.view.Enabled(Control::kUndo));
    }
    EXPECT_EQ(doc.MaBackup, backup);

    t.editor.CommandMa0Click();
    t.editor.CommandMaReClick();
    EXPECT_EQ(t.view.Pattern(), std::string(64, '1'));
    t.editor.CommandMaClick(9);
    t.editor.CommandMaClick(9);
    EXPECT_EQ(t.view.Pattern(), std::string(64, '1'));
    doc.MaData[5] = 7;
    t.editor.CommandMaClick(5);
    EXPECT_EQ(doc.MaData[5], 7);

    // Life game mode leaves the pattern commands working.
    t.editor.OptionModeClick(1);
    t.editor.CommandMa0Click();
    EXPECT_EQ(t.view.Pattern(), std::string(64, '0'));
    t.editor.CommandMaClick(0);
    EXPECT_EQ(t.view.pattern[0], "1");
}

TEST(EditorTest, TrialRunUndoAndModeSwitch) {
    Window t;
    Document& doc = t.doc();
    // Life game first: undo stays disabled.
    t.editor.OptionModeClick(1);
    for (const Control c : {Control::kConditionCells, Control::kConditionAll, Control::kMethods}) {
        EXPECT_FALSE(t.view.Enabled(c));
    }
    t.editor.CommandSeClick();
    EXPECT_FALSE(t.view.Enabled(Control::kUndo));
    EXPECT_EQ(t.view.status, "ライフゲームスタート");
    t.editor.OptionModeClick(0);
    for (const Control c : {Control::kConditionCells, Control::kConditionAll, Control::kMethods}) {
        EXPECT_TRUE(t.view.Enabled(c));
    }
    EXPECT_EQ(doc.GameMode, 0);

    // No match: the pattern stays, undo is enabled all the same.
    t.editor.CommandIfBClick(2);  // all nine cells must be ON, on both plates
    t.editor.CommandNextClick();
    t.editor.CommandIfBClick(2);
    t.editor.CommandSeClick();
    EXPECT_EQ(t.view.status, "条件にマッチするデータがありませんした。");
    EXPECT_TRUE(t.view.Enabled(Control::kUndo));
    EXPECT_EQ(t.view.plateLabel, "1/2");  // the step leaves plate 1
    EXPECT_EQ(t.view.Pattern(), std::string(64, '0'));

    // A blinker: a normal step, then a life step, then undo twice.
    t.editor.CommandIfBClick(1);  // plate 1: a cell in an empty neighbourhood turns ON
    for (int i : {25, 26, 27}) t.editor.CommandMaClick(i);
    t.editor.CommandSeClick();
    EXPECT_EQ(t.view.status, "条件にマッチしたデータを変化させました。");
    const std::string afterStep = t.view.Pattern();
    t.editor.OptionModeClick(1);
    t.editor.CommandSeClick();
    EXPECT_NE(t.view.Pattern(), afterStep);
    t.editor.CommandReClick();
    EXPECT_EQ(t.view.status, "試しに動かしたデータをもとにもどしました。");
    std::string blinker(64, '0');
    for (int i : {25, 26, 27}) blinker[i] = '1';
    EXPECT_EQ(t.view.Pattern(), blinker);
    t.editor.CommandReClick();
    EXPECT_EQ(t.view.Pattern(), blinker);
    EXPECT_TRUE(t.view.Enabled(Control::kUndo));
    EXPECT_TRUE(t.editor.statusTimer().enabled);
    // Every message was announced, and every other plate shown; the match list was not.
    EXPECT_EQ(t.view.announced,
              (std::vector<std::string>{
                  "ライフゲームスタート", "2/2", "1/2", "条件にマッチするデータがありませんした。",
                  "条件にマッチしたデータを変化させました。", "ライフゲームスタート",
                  "試しに動かしたデータをもとにもどしました。",
                  "試しに動かしたデータをもとにもどしました。"}));
}

TEST(EditorTest, NewResetsRulesButKeepsFilePortAndTheMessage) {
    Window t;
    Document& doc = t.doc();
    t.editor.CommandSeClick();  // undo enabled, a message shown
    doc.PlateCount = 12;
    doc.NowPlate = 5;
    doc.GameMode = 1;
    doc.FileName = "/tmp/x.dat";
    doc.ComPort = 3;
    doc.MaData.fill(1);
    t.editor.SetAll();
    EXPECT_EQ(t.view.mode, 1);
    EXPECT_FALSE(t.view.Enabled(Control::kMethods));
    t.view.title = "KelvaraEditor(/tmp/x.dat)";  // as the last save left it

    t.editor.MenuNewClick();

    EXPECT_EQ(t.view.plateLabel, "1/1");
    EXPECT_EQ(t.view.mode, 0);
    EXPECT_TRUE(t.view.Enabled(Control::kConditionCells));
    EXPECT_EQ(t.view.Pattern(), std::string(64, '0'));
    EXPECT_EQ(doc.FileName, "/tmp/x.dat");
    EXPECT_EQ(doc.ComPort, 3);
    EXPECT_EQ(t.view.title, "KelvaraEditor(/tmp/x.dat)");
    EXPECT_FALSE(t.view.Enabled(Control::kUndo));  // the kept pattern is the old document's
    EXPECT_EQ(t.view.checkedPort, 2);
    EXPECT_EQ(t.view.status, "条件にマッチしたデータを変化させました。");
}

TEST(EditorTest, OutOfTableValuesLeaveTheControlsAsTheyWere) {
    Window t;
    Document& doc = t.doc();
    doc.AcData[1] = 2;
    t.editor.SetAll();
    EXPECT_EQ(t.view.method, 2);
    doc.AcData[1] = 5;
    doc.IfData[1][4] = 7;
    doc.MaData[10] = 2;  // "any" is no pattern value
    doc.MaData[11] = 1;
    t.editor.SetAll();
    EXPECT_EQ(t.view.method, 2);
    EXPECT_EQ(doc.AcData[1], 5);  // the kept option's handler did not run
    EXPECT_EQ(t.view.condition[4], "*");
    EXPECT_EQ(t.view.pattern[10], "0");
    EXPECT_EQ(t.view.pattern[11], "1");
    EXPECT_EQ(t.view.patternFace[11], kRed);
    doc.GameMode = 9;
    t.editor.SetAll();
    EXPECT_EQ(t.view.mode, 0);
    EXPECT_EQ(doc.GameMode, 9);
    // A click on the option that stays selected runs its handler all the same.
    t.editor.OptionAcClick(2);
    EXPECT_EQ(doc.AcData[1], 2);
    t.editor.OptionModeClick(0);
    EXPECT_EQ(doc.GameMode, 0);
}

TEST(EditorTest, RefreshRedrawsOnlyItsGrid) {
    Window t;
    Document& doc = t.doc();
    doc.MaData.fill(1);
    doc.IfData[1].fill(0);
    t.editor.RefreshData(1);
    EXPECT_EQ(t.view.pattern[0], "0");
    EXPECT_EQ(t.view.condition[0], "0");
    t.editor.RefreshData(0);
    EXPECT_EQ(t.view.pattern[0], "1");
    doc.MaData.fill(0);
    t.editor.RefreshData(2);
    EXPECT_EQ(t.view.pattern[0], "1");
}

TEST(EditorTest, PortMenuMovesItsSingleCheckMark) {
    Window t;
    t.editor.menucomClick(2);
    EXPECT_EQ(t.view.checkedPort, 2);
    EXPECT_EQ(t.doc().ComPort, 3);
    t.editor.menucomClick(9);  // no such entry
    EXPECT_EQ(t.view.checkedPort, 2);
    EXPECT_EQ(t.doc().ComPort, 3);
}

TEST(EditorTest, StatusTimerRestoresTheRestingTextOnTheFourthTick) {
    Window t;
    for (int tick = 1; tick <= 3; ++tick) {
        t.editor.TimerMesTimer();
        EXPECT_EQ(t.view.status, "KelvaraEditor");
    }
    t.editor.ShowMessage("again");  // re-arming restarts the count
    for (int tick = 1; tick <= 3; ++tick) t.editor.TimerMesTimer();
    EXPECT_EQ(t.view.status, "again");
    t.editor.TimerMesTimer();
    EXPECT_EQ(t.view.status, "Kelvaraを編集してください。");
    EXPECT_FALSE(t.view.timerRunning);
    EXPECT_EQ(t.editor.statusTimer().MesCount, 4);
    EXPECT_EQ(t.view.announced, std::vector<std::string>{"again"});  // the resting text is not
}

TEST(EditorTest, LineEventsShowTheirMessageAndHelpOpensThePage) {
    Window t;
    t.editor.LineEvent(2);  // characters received: ignored
    EXPECT_TRUE(t.view.boxes.empty());
    t.editor.LineEvent(1004);
    t.editor.LineEvent(1002);
    ASSERT_EQ(t.view.boxes.size(), 2u);
    EXPECT_EQ(t.view.boxes[0].text, "フレームエラー");
    EXPECT_EQ(t.view.boxes[0].title, "通信エラー");
    EXPECT_EQ(t.view.boxes[0].icon, Box::Icon::kExclamation);
    EXPECT_EQ(t.view.boxes[1].text, "未定義エラー発生");
    t.editor.MenuHelpUseClick();
    EXPECT_EQ(t.view.helpOpened, 1);
    EXPECT_EQ(t.view.boxes.size(), 2u);
    t.view.helpOpens = false;  // the page is there, but nothing could show it
    t.editor.MenuHelpUseClick();
    ASSERT_EQ(t.view.boxes.size(), 3u);
    EXPECT_EQ(t.view.boxes[2].title, "エラー");
    EXPECT_NE(t.view.boxes[2].text.find("readme.html"), std::string::npos);
}

}  // namespace
}  // namespace kelvara
