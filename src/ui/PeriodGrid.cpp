#include "ui/PeriodGrid.h"

#include "errors/RuntimeError.h"
#include "layout/Twips.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <array>

namespace korvo::ui {

using layout::toPixels;

namespace {

constexpr std::int32_t kInvalidRow = 30009;
constexpr std::int32_t kInvalidCol = 30010;

[[noreturn]] void invalidProperty()
{
    errors::raise(errors::err::InvalidPropertyValue);
}

constexpr Qt::Alignment kGeneral = Qt::AlignLeft | Qt::AlignVCenter;

} // namespace

PeriodGrid::PeriodGrid(QWidget* parent)
    : QTableWidget(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(kGeneral);
    verticalHeader()->setSectionsClickable(false);
    // Rows as tight as a classic grid's: the text's height and a little air.
    const int rowHeight = toPixels(240);
    verticalHeader()->setMinimumSectionSize(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setFixedHeight(rowHeight + 1);
}

int PeriodGrid::rows() const
{
    return rowCount() + 1;
}

void PeriodGrid::setRows(int count)
{
    if (count < 1)
        invalidProperty();
    const int before = rowCount();
    setRowCount(count - 1);
    for (int r = before; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            setItem(r, c, makeItem(QString(), c));
}

int PeriodGrid::cols() const
{
    return columnCount();
}

void PeriodGrid::setCols(int count)
{
    if (count < 1)
        invalidProperty();
    const int before = columnCount();
    setColumnCount(count);
    m_alignment.resize(static_cast<std::size_t>(count), kGeneral);
    for (int c = before; c < count; ++c)
        for (int r = 0; r < rowCount(); ++r)
            setItem(r, c, makeItem(QString(), c));
}

void PeriodGrid::setFixedRows(int count)
{
    if (count != 1)
        invalidProperty();
    horizontalHeader()->setVisible(true);
}

void PeriodGrid::setFixedCols(int count)
{
    if (count < 0 || count > 1 || count >= columnCount())
        invalidProperty();
    verticalHeader()->setVisible(count == 1);
}

void PeriodGrid::setFormatString(const QString& format)
{
    const QStringList texts = format.split(QLatin1Char('|'));
    if (texts.size() > columnCount())
        setCols(static_cast<int>(texts.size()));
    for (int c = 0; c < texts.size(); ++c)
        setHorizontalHeaderItem(c, new QTableWidgetItem(texts[c]));
}

void PeriodGrid::setColWidth(int col, int widthTwips)
{
    checkCol(col);
    if (widthTwips < 0)
        invalidProperty();
    setColumnHidden(col, widthTwips == 0);
    if (widthTwips > 0)
        setColumnWidth(col, toPixels(widthTwips));
}

void PeriodGrid::setColAlignment(int col, int code)
{
    checkCol(col);
    static constexpr std::array<Qt::Alignment, 10> kCodes{
        Qt::AlignLeft | Qt::AlignTop,     Qt::AlignLeft | Qt::AlignVCenter,     Qt::AlignLeft | Qt::AlignBottom,
        Qt::AlignHCenter | Qt::AlignTop,  Qt::AlignHCenter | Qt::AlignVCenter,  Qt::AlignHCenter | Qt::AlignBottom,
        Qt::AlignRight | Qt::AlignTop,    Qt::AlignRight | Qt::AlignVCenter,    Qt::AlignRight | Qt::AlignBottom,
        kGeneral,
    };
    if (code < 0 || code >= static_cast<int>(kCodes.size()))
        invalidProperty();
    const Qt::Alignment alignment = kCodes[static_cast<std::size_t>(code)];
    if (m_alignment.size() < static_cast<std::size_t>(columnCount()))
        m_alignment.resize(static_cast<std::size_t>(columnCount()), kGeneral);
    m_alignment[static_cast<std::size_t>(col)] = alignment;
    for (int r = 0; r < rowCount(); ++r)
        if (QTableWidgetItem* cell = item(r, col))
            cell->setTextAlignment(alignment);
}

int PeriodGrid::row() const
{
    if (rowCount() == 0)
        return 0;
    const int current = currentRow();
    return current < 0 ? 1 : current + 1;
}

void PeriodGrid::setRow(int row)
{
    checkRow(row);
    if (row == 0)
        return;
    const QModelIndex cell = model()->index(row - 1, col());
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
}

int PeriodGrid::col() const
{
    const int current = currentColumn();
    return current < 0 ? 0 : current;
}

void PeriodGrid::setCol(int col)
{
    checkCol(col);
    if (rowCount() == 0)
        return;
    const QModelIndex cell = model()->index(row() - 1, col);
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
}

void PeriodGrid::setColSel(int col)
{
    checkCol(col);
    if (rowCount() == 0)
        return;
    const int r = row() - 1;
    const int from = this->col();
    const QItemSelection range(model()->index(r, std::min(from, col)), model()->index(r, std::max(from, col)));
    selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

QString PeriodGrid::textMatrix(int row, int col) const
{
    checkRow(row);
    checkCol(col);
    if (row == 0) {
        const QTableWidgetItem* header = horizontalHeaderItem(col);
        return header ? header->text() : QString();
    }
    const QTableWidgetItem* cell = item(row - 1, col);
    return cell ? cell->text() : QString();
}

void PeriodGrid::addCells(const QStringList& cells, int at)
{
    if (at == -1)
        at = rows();
    if (at < 1 || at > rows())
        errors::raise(kInvalidRow, QStringLiteral("Invalid Row value"));
    const int r = at - 1;
    insertRow(r);
    for (int c = 0; c < columnCount(); ++c)
        setItem(r, c, makeItem(c < cells.size() ? cells[c] : QString(), c));
}

void PeriodGrid::removeItem(int row)
{
    if (row < 1 || row >= rows())
        errors::raise(kInvalidRow, QStringLiteral("Invalid Row value"));
    removeRow(row - 1);
}

void PeriodGrid::checkRow(int row) const
{
    if (row < 0 || row >= rows())
        errors::raise(kInvalidRow, QStringLiteral("Invalid Row value"));
}

void PeriodGrid::checkCol(int col) const
{
    if (col < 0 || col >= columnCount())
        errors::raise(kInvalidCol, QStringLiteral("Invalid Col value"));
}

QTableWidgetItem* PeriodGrid::makeItem(const QString& text, int col) const
{
    auto* cell = new QTableWidgetItem(text);
    const auto index = static_cast<std::size_t>(col);
    cell->setTextAlignment(index < m_alignment.size() ? m_alignment[index] : kGeneral);
    return cell;
}

} // namespace korvo::ui
