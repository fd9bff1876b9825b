#pragma once

#include <QStringList>
#include <QTableWidget>

#include <vector>

namespace korvo::ui {

/// The period table's grid, addressed as the settings procedures expect: row 0 is the header row (the
/// table's horizontal header), rows 1 … rows()-1 hold the periods. Column numbers are the table's own.
///
/// Property values the grid cannot take raise the grid's own run-time errors (380 invalid property
/// value, 30009 invalid row, 30010 invalid column), so the calling procedure reports them.
class PeriodGrid final : public QTableWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeriodGrid)
public:
    explicit PeriodGrid(QWidget* parent = nullptr);

    /// Row count including the header row.
    [[nodiscard]] int rows() const;
    /// Setting fewer rows drops those at the end; at least the header row stays.
    void setRows(int count);
    [[nodiscard]] int cols() const;
    void setCols(int count);
    /// Only the one header row is supported.
    void setFixedRows(int count);
    /// 0 or 1: whether the first column is a fixed row-header column.
    void setFixedCols(int count);
    /// Header texts, separated by "|" ("|Period Descr|Time"). Adds columns when there are more texts.
    void setFormatString(const QString& format);
    /// Width in twips; 0 hides the column.
    void setColWidth(int col, int widthTwips);
    /// Alignment codes 0 … 8: left/centre/right, each top/centre/bottom; 9 is the general (left, centred).
    void setColAlignment(int col, int code);

    /// The current row: 0 only when there is no period row; otherwise 1 or more.
    [[nodiscard]] int row() const;
    /// Makes row current and selects just its cell in the current column.
    void setRow(int row);
    [[nodiscard]] int col() const;
    /// Makes col current in the current row and selects just that cell.
    void setCol(int col);
    /// Selects the current row from the current column to col.
    void setColSel(int col);

    [[nodiscard]] QString textMatrix(int row, int col) const;
    /// Adds a row cell by cell, so that it becomes row `at` (appended when at is -1). Texts are put into
    /// the cells as they are: a tab in a text stays in its cell.
    void addCells(const QStringList& cells, int at = -1);
    /// Deletes a period row.
    void removeItem(int row);

private:
    void checkRow(int row) const;
    void checkCol(int col) const;
    [[nodiscard]] QTableWidgetItem* makeItem(const QString& text, int col) const;

    std::vector<Qt::Alignment> m_alignment;
};

} // namespace korvo::ui
