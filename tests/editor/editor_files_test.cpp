// Open, save and save-as from the file menu, through scripted file dialogs and files on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "editor_fakes.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using test::Window;

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

const std::string kStartUpFile =
    "0,1,1\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0\r\n"
    "0\r\n"
    "2,2,2,2,2,2,2,2,2\r\n"
    "1\r\n";

class EditorFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kelvara-editor-files-" +
                std::to_string(::testing::UnitTest::GetInstance()->current_test_info()->line()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(EditorFilesTest, SaveAsWritesTheFileAndNamesTheWindow) {
    Window t;
    const std::string path = Path("plate.dat");
    t.view.fileAnswers = {path};
    t.editor.MenuNewSaveClick();
    EXPECT_EQ(ReadAll(path), kStartUpFile);
    EXPECT_EQ(t.view.title, "KelvaraEditor(" + path + ")");
    ASSERT_EQ(t.view.saveRequests.size(), 1u);
    EXPECT_EQ(t.view.saveRequests[0].title, "名前をつけて保存");
    // The type list as the user reads it; "すべてのファイル(*.*)" shows every file.
    const auto& filters = t.view.saveRequests[0].filters;
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].caption, "データファイル(*.dat)");
    EXPECT_EQ(filters[0].patterns, std::vector<std::string>{"*.dat"});
    EXPECT_EQ(filters[1].caption, "すべてのファイル(*.*)");
    EXPECT_EQ(filters[1].patterns, std::vector<std::string>{"*"});
    // Saving starts where the last file was; the last path is offered again, also to open.
    EXPECT_EQ(t.view.saveRequests[0].initialPath, "");
    t.editor.MenuOpenClick();
    ASSERT_EQ(t.view.openRequests.size(), 1u);
    EXPECT_EQ(t.view.openRequests[0].initialPath, path);
    EXPECT_EQ(t.view.openRequests[0].title, "ファイルを開く");
}

TEST_F(EditorFilesTest, CancelledSaveLeavesEmptyParentheses) {
    Window t;
    t.editor.MenuOverSaveClick();  // no file yet: save-as, cancelled
    EXPECT_EQ(t.view.saveRequests.size(), 1u);
    EXPECT_EQ(t.view.title, "KelvaraEditor()");
    t.editor.MenuOpenClick();  // cancelled too
    EXPECT_EQ(t.view.title, "KelvaraEditor()");
    // An answer nobody asked for is passed over.
    t.editor.OpenFileChosen(Path("stray.dat"));
    EXPECT_TRUE(t.view.boxes.empty());
}

TEST_F(EditorFilesTest, OpenReplacesTheDocumentAndShowsPlateOne) {
    Window t;
    const std::string path = Path("life.dat.txt");  // ".dat" anywhere in the name
    std::string text = kStartUpFile;
    text.replace(0, 5, "1,4,2");
    text += "0,0,0,0,0,0,0,0,0\r\n3\r\n";
    Write(path, text);
    for (int i = 0; i < 3; ++i) t.editor.CommandNextClick();
    t.editor.CommandSeClick();  // undo enabled: for this document's pattern
    t.view.fileAnswers = {path};
    t.editor.MenuOpenClick();
    EXPECT_TRUE(t.view.boxes.empty());
    EXPECT_EQ(t.view.plateLabel, "1/2");
    EXPECT_EQ(t.view.mode, 1);
    EXPECT_FALSE(t.view.Enabled(Control::kConditionCells));
    EXPECT_EQ(t.doc().ComPort, 4);
    EXPECT_EQ(t.view.checkedPort, 3);  // the next transfer goes to the file's port: COM4
    EXPECT_FALSE(t.view.Enabled(Control::kUndo));  // the old pattern is another document's
    EXPECT_EQ(t.view.title, "KelvaraEditor(" + path + ")");
    // A port no menu entry names: none carries the check mark.
    text.replace(0, 5, "1,12,2");
    Write(path, text);
    t.view.fileAnswers = {path};
    t.editor.MenuOpenClick();
    EXPECT_EQ(t.doc().ComPort, 12);
    EXPECT_EQ(t.view.checkedPort, -1);
}

// A file named on the command line opens as one chosen in "開く", without a dialog; a first
// save starts in the user's documents, later ones where the last file was.
TEST_F(EditorFilesTest, AFileGivenAtStartOpensAsIfChosen) {
    Window t;
    t.files = DiskDataFiles({}, [this] { return Path("documents"); });
    t.editor.MenuNewSaveClick();  // cancelled
    ASSERT_EQ(t.view.saveRequests.size(), 1u);
    EXPECT_EQ(t.view.saveRequests[0].initialPath, Path("documents"));
    std::string text = kStartUpFile;
    text.replace(0, 5, "0,3,1");
    Write(Path("given.dat"), text);
    t.editor.OpenFileGiven(Path("given.dat"));
    EXPECT_TRUE(t.view.openRequests.empty());
    EXPECT_EQ(t.doc().ComPort, 3);
    EXPECT_EQ(t.view.checkedPort, 2);
    EXPECT_EQ(t.view.title, "KelvaraEditor(" + Path("given.dat") + ")");
    t.editor.MenuNewSaveClick();
    EXPECT_EQ(t.view.saveRequests.back().initialPath, Path("given.dat"));
    t.editor.OpenFileGiven(Path("notes.txt"));
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].text, "不明なファイルです。");
    EXPECT_EQ(t.doc().ComPort, 3);
}

TEST_F(EditorFilesTest, UnknownFilesAreRefusedAndChangeNothing) {
    Window t;
    Write(Path("PLATE.DAT"), kStartUpFile);
    std::string zero = kStartUpFile;
    zero.replace(0, 5, "1,1,0");
    Write(Path("zero.dat"), zero);
    std::string many = kStartUpFile;
    many.replace(0, 5, "1,1,51");
    Write(Path("many.dat"), many);
    fs::create_directory(dir_ / "sub.dat");
    for (const std::string& path : {Path("PLATE.DAT"), Path("zero.dat"), Path("many.dat"),
                                    Path("missing.dat"), Path("sub.dat")}) {
        t.view.boxes.clear();
        t.view.fileAnswers = {path};
        t.editor.MenuOpenClick();
        ASSERT_EQ(t.view.boxes.size(), 1u) << path;
        EXPECT_EQ(t.view.boxes[0].text, "不明なファイルです。");
        EXPECT_EQ(t.view.boxes[0].title, "エラー");
        EXPECT_EQ(t.view.boxes[0].icon, Box::Icon::kExclamation);
        EXPECT_EQ(t.doc().PlateCount, 1);
        EXPECT_EQ(t.doc().GameMode, 0);
        EXPECT_TRUE(t.doc().FileName.empty());
        EXPECT_EQ(t.view.title, "KelvaraEditor()");
    }
}

TEST_F(EditorFilesTest, SaveAsWithoutExtensionCannotBeOpenedAgain) {
    Window t;
    const std::string path = Path("plain");
    t.view.fileAnswers = {path, path};
    t.editor.MenuNewSaveClick();
    EXPECT_TRUE(fs::exists(path));
    t.editor.MenuOpenClick();
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].text, "不明なファイルです。");
}

TEST_F(EditorFilesTest, SaveAfterNewOverwritesTheOpenedFile) {
    Window t;
    const std::string path = Path("a.dat");
    std::string text = kStartUpFile;
    text.replace(0, 5, "0,2,1");
    text.replace(7, 1, "1");  // first pattern cell ON
    Write(path, text);
    t.view.fileAnswers = {path};
    t.editor.MenuOpenClick();
    EXPECT_EQ(t.view.pattern[0], "1");
    t.editor.MenuNewClick();
    t.editor.MenuOverSaveClick();
    EXPECT_TRUE(t.view.saveRequests.empty());
    std::string expected = kStartUpFile;
    expected.replace(0, 5, "0,2,1");  // New keeps the port
    EXPECT_EQ(ReadAll(path), expected);
}

TEST_F(EditorFilesTest, FailedSaveSaysSoAndKeepsTheOldFile) {
    Window t;
    const std::string good = Path("good.dat");
    t.view.fileAnswers = {good};
    t.editor.MenuNewSaveClick();
    for (const std::string& target : {std::string("/dev/full"), Path("no/such/dir/x.dat")}) {
        t.view.boxes.clear();
        t.view.fileAnswers = {target};
        t.editor.MenuNewSaveClick();
        ASSERT_EQ(t.view.boxes.size(), 1u) << target;
        EXPECT_EQ(t.view.boxes[0].text, "ファイルを保存できませんでした。");
        EXPECT_EQ(t.view.boxes[0].title, "エラー");
        EXPECT_EQ(t.view.title, "KelvaraEditor(" + good + ")");
    }
    // The current file that can no longer be written: the same box.
    fs::remove_all(dir_);
    t.view.boxes.clear();
    t.editor.MenuOverSaveClick();
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].text, "ファイルを保存できませんでした。");
}

}  // namespace
}  // namespace kelvara
