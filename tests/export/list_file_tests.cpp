// Saving the result list to files and clearing it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "export/list_file.h"
#include "support/fake_window.h"
#include "text/codepage.h"
#include "text/primitives.h"
#include "text/program_directory.h"

namespace {

namespace fs = std::filesystem;
using sh::harvest::EditBox;
using sh::testing::FakeWindow;
using sh::text::gbk;
using sh::text::Text;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ListFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sh-export-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        sh::setProgramDirectory(dir);
        window.edits[EditBox::编辑框5] = Text("qrc:/help/save.html");
        window.edits[EditBox::编辑框6] = Text("qrc:/help/save-titles.html");
        window.edits[EditBox::编辑框7] = Text("qrc:/help/clear.html");
    }
    void TearDown() override { fs::remove_all(dir); }

    void addRow(const std::string& siteUtf8, const std::string& titleUtf8) {
        auto& list = window.list;
        const int row = list.appendRow();
        list.setCellText(row, 0, sh::text::toText(row));
        list.setCellText(row, 1, gbk(siteUtf8));
        list.setCellText(row, 2, gbk(titleUtf8));
    }
    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    FakeWindow window;
    fs::path dir;
};

TEST_F(ListFileTest, SavesAddressesOrAddressesWithTitlesAsGbkWithCrLf) {
    addRow("http://a.example/", "北京公司");
    addRow("http://b.example/", "");

    sh::exporting::onSaveUrlsClicked(window);
    sh::exporting::onSaveUrlsAndTitlesClicked(window);

    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集标题+网址3.txt", "已采集网址3.txt"}));
    EXPECT_EQ(readFile(dir / "已采集网址3.txt"), "http://a.example/\r\nhttp://b.example/\r\n");
    EXPECT_EQ(readFile(dir / "已采集标题+网址3.txt"),
              "http://a.example/\r\n" + gbk("北京公司").bytes() + "\r\nhttp://b.example/\r\n\r\n");
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].text, gbk("保存成功"));
    EXPECT_EQ(window.messages[0].caption, gbk("信息："));
    EXPECT_EQ(window.browserAddresses,
              (std::vector<Text>{Text("qrc:/help/save.html"), Text("qrc:/help/save-titles.html")}));
}

TEST_F(ListFileTest, FileNumberIsRowsPlusOneAndAResaveReplacesTheFile) {
    for (int i = 0; i < 10; ++i) addRow("http://s" + std::to_string(i) + ".example/", "t");
    sh::exporting::onSaveUrlsClicked(window);
    window.list.setCellText(0, 1, Text("http://changed.example/"));
    sh::exporting::onSaveUrlsClicked(window);
    addRow("http://new.example/", "t");
    sh::exporting::onSaveUrlsClicked(window);

    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集网址11.txt", "已采集网址12.txt"}));
    EXPECT_EQ(readFile(dir / "已采集网址11.txt").rfind("http://changed.example/\r\n", 0), 0u);
}

TEST_F(ListFileTest, AnEmptyListWritesNothingAndSaysNothingButShowsThePage) {
    sh::exporting::onSaveUrlsClicked(window);
    sh::exporting::onSaveUrlsAndTitlesClicked(window);
    EXPECT_TRUE(filesInDir().empty());
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(window.browserAddresses.size(), 2u);
}

TEST_F(ListFileTest, AFailedSaveWarnsNamesTheFileAndLeavesNoTemporaryFile) {
    addRow("http://a.example/", "t");
    // A directory in the way of the file: the rename over it fails.
    fs::create_directory(dir / "已采集网址2.txt");

    sh::exporting::onSaveUrlsClicked(window);

    EXPECT_TRUE(window.messages.empty());
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(sh::text::utf8(window.warnings[0].text).find("已采集网址2.txt"), std::string::npos);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集网址2.txt"}));
    EXPECT_TRUE(fs::is_directory(dir / "已采集网址2.txt"));
}

TEST_F(ListFileTest, AMissingProgramDirectoryWarnsInsteadOfClaimingSuccess) {
    addRow("http://a.example/", "t");
    sh::setProgramDirectory(dir / "gone");
    sh::exporting::onSaveUrlsAndTitlesClicked(window);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.warnings.size(), 1u);
}

TEST_F(ListFileTest, WriteFileReplacesWholeContentAndRejectsAnEmptyName) {
    const fs::path file = dir / "名单.txt";
    std::ofstream(file) << "an older and much longer content";
    EXPECT_TRUE(sh::exporting::writeFile(gbk(file.string()), sh::text::Bytes(std::string_view("new"))));
    EXPECT_EQ(readFile(file), "new");
    EXPECT_FALSE(sh::exporting::writeFile(Text(), sh::text::Bytes(std::string_view("x"))));
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"名单.txt"}));
}

TEST_F(ListFileTest, ClearEmptiesTheListAfterShowingItsPage) {
    addRow("http://a.example/", "t");
    sh::exporting::onClearClicked(window);
    EXPECT_EQ(window.list.rowCount(), 0);
    EXPECT_EQ(window.browserAddresses, (std::vector<Text>{Text("qrc:/help/clear.html")}));
    sh::exporting::onClearClicked(window);  // an empty list: only the page changes
    EXPECT_EQ(window.browserAddresses.size(), 2u);
}

}  // namespace
