#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

/// The rows of the results list: one per entry of the current batch, in index order, each with
/// its state image (0 listed, 1 converted or skipped, 2 failed) and two texts, the source path
/// and the first line of the result. Columns "@" (the image), "File Name" and "Result". GUI
/// thread only.
class ThvResultsModel : public QAbstractTableModel {
  public:
    struct TRow {
        int Image = 0;
        QString Source;
        QString Result;
        bool HasResult = false;  ///< the row has a second text (an empty result has none)
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
    const TRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  private:
    std::vector<TRow> rows_;
};
