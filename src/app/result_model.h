#pragma once

// Shows the core's ResultList in 超级列表框1: a row appears as soon as it is appended, a
// cell's text as soon as it is set.

#include <QAbstractTableModel>

#include "harvest/result_list.h"

namespace sh::app {

class ResultModel final : public QAbstractTableModel, private sh::harvest::ResultListObserver {
    Q_OBJECT
public:
    // Observes list for the model's lifetime; list must outlive the model.
    explicit ResultModel(sh::harvest::ResultList& list, QObject* parent = nullptr);
    ~ResultModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rowAboutToBeAppended(int row) override;
    void rowAppended(int row) override;
    void cellChanged(int row, int column) override;
    void allRowsAboutToBeDeleted() override;
    void allRowsDeleted() override;

    sh::harvest::ResultList& m_list;
};

}  // namespace sh::app
