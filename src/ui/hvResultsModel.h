#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <vector>

/// The rows of the results list: one per entry of the current batch, in index order, each with
/// its state image (ThvImageList: Running listed, Success converted or skipped, Failure failed,
/// Salvaged converted from a damaged file read in part, NotConverted left by a Stop) and two
/// texts, the source path and the first line of the result. Columns "@" (the image), "File
/// Name" and "Result". GUI thread only.
class ThvResultsModel : public QAbstractTableModel {
  public:
    struct TRow {
        int Image = 0;
        QString Source;
        QString Result;
        bool HasResult = false;  ///< the row has a second text (an empty result has none)
        QString Text;            ///< the text file written, for a converted row
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    /// Appends rows with image 0, one per source, in one insertion.
    void Append(const std::vector<QString>& sources);
    /// Sets a row's image and texts (the row must exist).
    void Update(int row, int image, const QString& source, const QString* result);
    /// Sets the text file a converted row's file became (the row must exist).
    void SetText(int row, const QString& text) { rows_[static_cast<std::size_t>(row)].Text = text; }
    /// Every row still waiting becomes NotConverted, its result "Not converted".
    void MarkNotConverted();
    const TRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  private:
    std::vector<TRow> rows_;
};

/// What the list shows of a ThvResultsModel: its rows in the order of the column last clicked
/// (the batch's order until one is), or its failed rows alone. Both follow rows that arrive or
/// change later. The view's row numbers are this model's; mapToSource gives the entry's.
class ThvResultsFilter : public QSortFilterProxyModel {
  public:
    explicit ThvResultsFilter(ThvResultsModel* results, QObject* parent);

    void SetFailuresOnly(bool only);
    bool FailuresOnly() const { return failuresOnly_; }
    /// The entry (row of the results) behind a row of the view; -1 for an invalid index.
    int EntryOf(const QModelIndex& index) const;

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    const ThvResultsModel* results_;
    bool failuresOnly_ = false;
};
