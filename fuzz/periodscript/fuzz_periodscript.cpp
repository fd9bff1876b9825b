// Feeds arbitrary bytes to the period-set file reader and checks what must hold for every file:
// no cell holds a line break, only empty lines are ignored, and writing what was read then reading it
// again gives the same set.
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
    const qsizetype used = file.rows.empty() && !file.incomplete && !file.direction
        ? (lines.isEmpty() || lines.front().isEmpty() ? 0 : 1)
        : 1 + 2 * static_cast<qsizetype>(file.rows.size()) + (file.incomplete ? 1 : 0);
    if (used > lines.size())
        fail("lines invented");
    for (qsizetype i = used; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            fail("a line that is not empty was ignored");
    for (std::size_t k = 0; k < file.rows.size(); ++k) {
        const auto at = static_cast<qsizetype>(1 + 2 * k);
        if (lines[at] != file.rows[k].legend || lines[at + 1] != file.rows[k].time)
            fail("cells differ from their lines");
        if (holdsLineBreak(file.rows[k].legend) || holdsLineBreak(file.rows[k].time))
            fail("line break inside a cell");
    }
    if (file.incomplete && lines[used - 1].isEmpty())
        fail("an empty line taken for a legend without time");

    const Direction direction = file.direction.value_or(Direction::Pass);
    const QByteArray written = PeriodScript::write(direction, file.rows);
    if (written.startsWith("\xEF\xBB\xBF"))
        fail("byte-order mark written");
    const PeriodFile again = PeriodScript::read(written);
    // Rows with both cells empty at the very end are written as empty lines at the end of the file,
    // which a reader ignores; the window never makes such rows (a legend is required), files can.
    std::vector<PeriodRow> kept = file.rows;
    while (!kept.empty() && kept.back().legend.isEmpty() && kept.back().time.isEmpty())
        kept.pop_back();
    if (again.direction != direction || again.incomplete || again.rows != kept)
        fail("write then read changed the set");
    if (PeriodScript::write(direction, again.rows) != PeriodScript::write(direction, kept))
        fail("writing is not stable");
    return 0;
}
