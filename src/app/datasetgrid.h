#pragma once
// A read-only, row-select grid over a dataset: the list grids of the shell
// (reports, vouchers, the organization picker). The grid keeps a copy of the
// texts it shows, read again whenever the dataset tells of a change, so that
// painting never moves the dataset's current row; choosing a row in the grid
// moves the dataset.
//
// To be replaced by the data grid of the vendor components when that lands.

#include <QAbstractTableModel>
#include <QTableView>

#include <functional>
#include <vector>

namespace pm {

class TDataSet;
class TField;

struct TGridColumn {
    QString fieldName;
    QString title;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QString numberFormat;                          // FormatFloat pattern; empty: the field's display text
    std::function<QString(const TField&)> text;    // overrides both
    int width = 0;                                 // pixels; 0: stretch to fit
};

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TDataSetModel(TDataSet& dataSet, std::vector<TGridColumn> columns, QObject* parent = nullptr);
    ~TDataSetModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    TDataSet& DataSet() const { return dataSet_; }
    const std::vector<TGridColumn>& Columns() const { return columns_; }
    // Reads every row's texts again.
    void Reload();
    int CurrentRow() const;   // -1 when none

Q_SIGNALS:
    void currentRowChanged(int row);

private:
    void DataSetEvent(int event);
    QString CellText(const TGridColumn& column) const;

    TDataSet& dataSet_;
    std::vector<TGridColumn> columns_;
    std::vector<QStringList> rows_;
    int observer_ = 0;
    bool reading_ = false;
};

class TDataSetGrid : public QTableView {
    Q_OBJECT
public:
    TDataSetGrid(TDataSet& dataSet, std::vector<TGridColumn> columns, QWidget* parent = nullptr);
    TDataSetModel* Model() const { return model_; }

private:
    void ShowCurrentRow(int row);
    TDataSetModel* model_;
    bool following_ = false;
};

} // namespace pm
