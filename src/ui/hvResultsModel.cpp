#include "ui/hvResultsModel.h"

#include "ui/hvImages.h"

int ThvResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ThvResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ThvResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TRow& row = Row(index.row());
    switch (index.column()) {
        case 0:
            if (role == Qt::DecorationRole) return ThvImageList::Image(row.Image);
            return {};
        case 1:
            if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return row.Source;
            return {};
        case 2:
            if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return row.Result;
            return {};
        default:
            return {};
    }
}

QVariant ThvResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case 0:
            return QStringLiteral("@");
        case 1:
            return QStringLiteral("File Name");
        case 2:
            return QStringLiteral("Result");
        default:
            return {};
    }
}

void ThvResultsModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ThvResultsModel::Append(const std::vector<QString>& sources) {
    if (sources.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(sources.size()) - 1);
    for (const QString& source : sources) rows_.push_back({0, source, {}, false, {}});
    endInsertRows();
}

void ThvResultsModel::Update(int row, int image, const QString& source, const QString* result) {
    TRow& r = rows_[static_cast<std::size_t>(row)];
    r.Image = image;
    r.Source = source;
    r.HasResult = result != nullptr;
    r.Result = result ? *result : QString();
    emit dataChanged(index(row, 0), index(row, 2));
}

void ThvResultsModel::MarkNotConverted() {
    int first = -1, last = -1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        TRow& r = rows_[i];
        if (r.Image != ThvImageList::Running) continue;
        r.Image = ThvImageList::NotConverted;
        r.Result = QStringLiteral("Not converted");
        r.HasResult = true;
        if (first < 0) first = static_cast<int>(i);
        last = static_cast<int>(i);
    }
    if (first >= 0) emit dataChanged(index(first, 0), index(last, 2));
}

ThvResultsFilter::ThvResultsFilter(ThvResultsModel* results, QObject* parent)
    : QSortFilterProxyModel(parent), results_(results) {
    setSourceModel(results);
}

void ThvResultsFilter::SetFailuresOnly(bool only) {
    if (only == failuresOnly_) return;
    failuresOnly_ = only;
    invalidateRowsFilter();
}

int ThvResultsFilter::EntryOf(const QModelIndex& index) const {
    return index.isValid() ? mapToSource(index).row() : -1;
}

bool ThvResultsFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return !failuresOnly_ || results_->Row(sourceRow).Image == ThvImageList::Failure;
}

namespace {

/// Where a state sorts: what needs a look first, the work left last.
int StateRank(int image) {
    switch (image) {
        case ThvImageList::Failure:
            return 0;
        case ThvImageList::Salvaged:
            return 1;
        case ThvImageList::Success:
            return 2;
        case ThvImageList::NotConverted:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

bool ThvResultsFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const ThvResultsModel::TRow& a = results_->Row(left.row());
    const ThvResultsModel::TRow& b = results_->Row(right.row());
    // Equal keys keep the batch's order: the sort is stable.
    switch (left.column()) {
        case 0:
            return StateRank(a.Image) < StateRank(b.Image);
        case 1:
            return a.Source.localeAwareCompare(b.Source) < 0;
        default:
            return a.Result.localeAwareCompare(b.Result) < 0;
    }
}
