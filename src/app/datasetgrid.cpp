#include "app/datasetgrid.h"

#include "components/formatting.h"
#include "data/dataset.h"

#include <QHeaderView>

namespace pm {

TDataSetModel::TDataSetModel(TDataSet& dataSet, std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), dataSet_(dataSet), columns_(std::move(columns))
{
    observer_ = dataSet_.AddObserver([this](TDataSet&, TDataEvent event, TField*) { DataSetEvent(int(event)); });
    Reload();
}

TDataSetModel::~TDataSetModel()
{
    dataSet_.RemoveObserver(observer_);
}

void TDataSetModel::DataSetEvent(int event)
{
    if (reading_)
        return;
    switch (TDataEvent(event)) {
    case TDataEvent::DataSetScroll:
        Q_EMIT currentRowChanged(CurrentRow());
        break;
    case TDataEvent::StateChange:
    case TDataEvent::FieldChange:
        break;
    default:
        // Rows may have come or gone: read them again, but not while a row
        // is being edited (reading would post it).
        if (dataSet_.State() == TDataSetState::Browse || dataSet_.State() == TDataSetState::Inactive)
            Reload();
        break;
    }
}

QString TDataSetModel::CellText(const TGridColumn& column) const
{
    TField* field = dataSet_.FindField(column.fieldName);
    if (!field)
        return QString();
    if (column.text)
        return column.text(*field);
    if (!column.numberFormat.isEmpty())
        return field->IsNull() ? QString() : FormatFloat(column.numberFormat, field->AsFloat());
    return field->DisplayText();
}

void TDataSetModel::Reload()
{
    beginResetModel();
    rows_.clear();
    if (dataSet_.Active() && !dataSet_.IsEmpty()) {
        reading_ = true;
        // Walking the rows must not run what a move of the current row runs.
        auto afterScroll = std::move(dataSet_.AfterScroll);
        auto beforeScroll = std::move(dataSet_.BeforeScroll);
        dataSet_.AfterScroll = nullptr;
        dataSet_.BeforeScroll = nullptr;
        const int current = dataSet_.RecNo();
        dataSet_.DisableControls();
        try {
            rows_.reserve(size_t(dataSet_.RecordCount()));
            dataSet_.First();
            while (!dataSet_.Eof()) {
                QStringList row;
                for (const TGridColumn& column : columns_)
                    row << CellText(column);
                rows_.push_back(row);
                dataSet_.Next();
            }
            if (current > 0)
                dataSet_.SetRecNo(current);
        } catch (const EDatabaseError&) {
            rows_.clear();
        }
        dataSet_.EnableControls();
        dataSet_.AfterScroll = std::move(afterScroll);
        dataSet_.BeforeScroll = std::move(beforeScroll);
        reading_ = false;
    }
    endResetModel();
    Q_EMIT currentRowChanged(CurrentRow());
}

int TDataSetModel::CurrentRow() const
{
    if (!dataSet_.Active() || dataSet_.IsEmpty())
        return -1;
    return dataSet_.RecNo() - 1;
}

int TDataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int TDataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= rows_.size() || size_t(index.column()) >= columns_.size())
        return {};
    if (role == Qt::DisplayRole)
        return rows_[size_t(index.row())].value(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columns_[size_t(index.column())].alignment);
    return {};
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && size_t(section) < columns_.size())
        return columns_[size_t(section)].title;
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && size_t(section) < columns_.size())
        return QVariant::fromValue(columns_[size_t(section)].alignment);
    return {};
}

TDataSetGrid::TDataSetGrid(TDataSet& dataSet, std::vector<TGridColumn> columns, QWidget* parent)
    : QTableView(parent)
{
    model_ = new TDataSetModel(dataSet, std::move(columns), this);
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    int i = 0;
    bool stretched = false;
    for (const TGridColumn& c : model_->Columns()) {
        if (c.width > 0) {
            setColumnWidth(i, c.width);
        } else {
            horizontalHeader()->setSectionResizeMode(i, QHeaderView::Stretch);
            stretched = true;
        }
        ++i;
    }
    if (!stretched)
        horizontalHeader()->setStretchLastSection(true);

    connect(model_, &TDataSetModel::currentRowChanged, this, &TDataSetGrid::ShowCurrentRow);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { ShowCurrentRow(model_->CurrentRow()); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& index) {
        if (following_ || !index.isValid())
            return;
        TDataSet& ds = model_->DataSet();
        if (ds.Active() && index.row() + 1 != ds.RecNo() && index.row() < ds.RecordCount()) {
            try {
                ds.SetRecNo(index.row() + 1);
            } catch (const EDatabaseError&) {
            }
        }
    });
    ShowCurrentRow(model_->CurrentRow());
}

void TDataSetGrid::ShowCurrentRow(int row)
{
    following_ = true;
    if (row >= 0 && row < model_->rowCount()) {
        const QModelIndex index = model_->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
    }
    following_ = false;
}

} // namespace pm
