#pragma once

// The collected results: rows of three GBK cells (rank, site, title), in the order they
// were appended. The window shows it through a model that listens for changes.

#include <array>
#include <vector>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;

struct ResultRow {
    std::array<Text, 3> cells;  // 0 "排名" rank, 1 "网址" site, 2 "网站标题" title
};

// Told about every change, on the thread that made it (the window thread). The
// "about to" calls come before the rows change, as a Qt model's begin/end pairs need.
class ResultListObserver {
public:
    virtual ~ResultListObserver() = default;
    virtual void rowAboutToBeAppended(int /*row*/) {}
    virtual void rowAppended(int row) = 0;
    virtual void cellChanged(int row, int column) = 0;
    virtual void allRowsAboutToBeDeleted() {}
    virtual void allRowsDeleted() = 0;
};

class ResultList {
public:
    int rowCount() const;
    // Adds an empty row after the last one; returns its 0-based index.
    int appendRow();
    // Row and column 0-based; out of range does nothing.
    void setCellText(int row, int column, const Text& text);
    // The cell's whole text; empty out of range.
    Text cellText(int row, int column) const;
    void deleteAllRows();

    const std::vector<ResultRow>& rows() const { return m_rows; }
    // At most one observer; nullptr removes it.
    void setObserver(ResultListObserver* observer) { m_observer = observer; }

private:
    std::vector<ResultRow> m_rows;
    ResultListObserver* m_observer = nullptr;
};

}  // namespace sh::harvest
