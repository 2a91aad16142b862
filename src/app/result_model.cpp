#include "app/result_model.h"

#include "app/qt_text.h"

namespace sh::app {

ResultModel::ResultModel(sh::harvest::ResultList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {
    m_list.setObserver(this);
}

ResultModel::~ResultModel() {
    m_list.setObserver(nullptr);
}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.rowCount();
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    switch (role) {
        case Qt::DisplayRole:
            // Converted on every paint: only the visible cells are asked, and caching would
            // double the memory of a long list.
            return toQString(m_list.cellText(index.row(), index.column()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        default:
            return {};
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
        case 0:
            return QStringLiteral("排名");
        case 1:
            return QStringLiteral("网址");
        case 2:
            return QStringLiteral("网站标题");
        default:
            return {};
    }
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultModel::rowAboutToBeAppended(int row) {
    beginInsertRows({}, row, row);
}

void ResultModel::rowAppended(int) {
    endInsertRows();
}

void ResultModel::cellChanged(int row, int column) {
    if (row < 0 || row >= m_list.rowCount() || column < 0 || column >= 3)
        return;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void ResultModel::allRowsAboutToBeDeleted() {
    beginResetModel();
}

void ResultModel::allRowsDeleted() {
    endResetModel();
}

}  // namespace sh::app
