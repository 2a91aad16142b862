#include "harvest/result_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sh::harvest {
namespace {

// Records notifications, and what the list held when each arrived.
class Recorder : public ResultListObserver {
public:
    explicit Recorder(const ResultList& list) : m_list(list) {}
    void rowAboutToBeAppended(int row) override { log("about " + std::to_string(row)); }
    void rowAppended(int row) override { log("appended " + std::to_string(row)); }
    void cellChanged(int row, int column) override {
        log("cell " + std::to_string(row) + "," + std::to_string(column));
    }
    void allRowsAboutToBeDeleted() override { log("about all"); }
    void allRowsDeleted() override { log("deleted"); }
    std::vector<std::string> events;

private:
    void log(std::string event) {
        events.push_back(event + " n=" + std::to_string(m_list.rowCount()));
    }
    const ResultList& m_list;
};

TEST(ResultListTest, RowsCellsAndNotificationsInOrder) {
    ResultList list;
    Recorder recorder(list);
    list.setObserver(&recorder);

    EXPECT_EQ(list.appendRow(), 0);
    list.setCellText(0, 2, "title");
    EXPECT_EQ(list.appendRow(), 1);
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.cellText(0, 2), Text("title"));
    EXPECT_EQ(list.cellText(1, 0), Text());
    list.deleteAllRows();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.appendRow(), 0);  // indexes start again at 0

    // "about" comes before the change (the count is still the old one), the rest after.
    const std::vector<std::string> expected = {"about 0 n=0", "appended 0 n=1", "cell 0,2 n=1",
                                               "about 1 n=1", "appended 1 n=2", "about all n=2",
                                               "deleted n=0", "about 0 n=0",    "appended 0 n=1"};
    EXPECT_EQ(recorder.events, expected);
}

TEST(ResultListTest, OutOfRangeCellsAreIgnored) {
    ResultList list;
    Recorder recorder(list);
    list.setObserver(&recorder);
    list.appendRow();
    recorder.events.clear();
    for (auto [row, column] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 3}}) {
        list.setCellText(row, column, "x");
        EXPECT_EQ(list.cellText(row, column), Text());
    }
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(list.cellText(0, 0), Text());
}

}  // namespace
}  // namespace sh::harvest
