// Feeds arbitrary bytes to the period-set file reader and checks what must hold for every file:
// no cell holds a line break or is longer than the bound, no legend a control character, only empty lines
// and the pairs left out are ignored, and writing what was read then reading it again gives the same set.
#include "model/PeriodRec.h"
#include "settings/PeriodScript.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "period script invariant broken: %s\n", what);
    std::abort();
}

bool holdsLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvo::settings;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const PeriodFile file = PeriodScript::read(bytes);
    const QStringList lines = PeriodScript::lines(bytes);
    const auto pairs = static_cast<qsizetype>(file.rows.size() + file.leftOut.size());
    const qsizetype used = pairs == 0 && !file.incomplete && !file.direction
        ? (lines.isEmpty() || lines.front().isEmpty() ? 0 : 1)
        : 1 + 2 * pairs + (file.incomplete ? 1 : 0);
    if (used > lines.size())
        fail("lines invented");
    for (qsizetype i = used; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            fail("a line that is not empty was ignored");
    std::size_t k = 0;
    std::size_t skipped = 0;
    for (qsizetype at = 1; at + 1 < used; at += 2) {
        if (skipped < file.leftOut.size() && file.leftOut[skipped].line == at + 1) {
            ++skipped;
            continue;
        }
        if (k >= file.rows.size() || lines[at] != file.rows[k].legend || lines[at + 1] != file.rows[k].time)
            fail("cells differ from their lines");
        const PeriodRow& row = file.rows[k++];
        if (holdsLineBreak(row.legend) || holdsLineBreak(row.time))
            fail("line break inside a cell");
        if (row.legend.size() > PeriodScript::kMaxCellLength || row.time.size() > PeriodScript::kMaxCellLength
            || !korvo::model::isLegendText(row.legend) || (row.legend.isEmpty() && row.time.isEmpty()))
            fail("a pair kept that the window cannot hold");
    }
    if (k != file.rows.size() || skipped != file.leftOut.size())
        fail("rows or left-out pairs out of place");
    if (file.incomplete && lines[used - 1].isEmpty())
        fail("an empty line taken for a legend without time");

    const Direction direction = file.direction.value_or(Direction::Pass);
    const QByteArray written = PeriodScript::write(direction, file.rows);
    if (written.startsWith("\xEF\xBB\xBF"))
        fail("byte-order mark written");
    const PeriodFile again = PeriodScript::read(written);
    // Every set the window can hold survives a save and a load exactly.
    if (again.direction != direction || again.incomplete || !again.leftOut.empty() || again.rows != file.rows)
        fail("write then read changed the set");
    if (PeriodScript::write(direction, again.rows) != written)
        fail("writing is not stable");
    return 0;
}
