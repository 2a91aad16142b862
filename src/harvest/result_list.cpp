#include "harvest/result_list.h"

namespace sh::harvest {

namespace {
constexpr int kColumns = 3;
}

int ResultList::rowCount() const {
    return static_cast<int>(m_rows.size());
}

int ResultList::appendRow() {
    const int row = rowCount();
    if (m_observer)
        m_observer->rowAboutToBeAppended(row);
    m_rows.emplace_back();
    if (m_observer)
        m_observer->rowAppended(row);
    return row;
}

void ResultList::setCellText(int row, int column, const Text& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns)
        return;
    m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)] = text;
    if (m_observer)
        m_observer->cellChanged(row, column);
}

Text ResultList::cellText(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns)
        return {};
    return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

void ResultList::deleteAllRows() {
    if (m_observer)
        m_observer->allRowsAboutToBeDeleted();
    m_rows.clear();
    if (m_observer)
        m_observer->allRowsDeleted();
}

}  // namespace sh::harvest
