#include "errors/Procedure.h"

#include "errors/ProjectName.h"

namespace korvo::errors {

QString reportText(std::int32_t number, const QString& description, const char* module, const char* procedure,
                   int line)
{
    static const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Error ") + QString::number(number) + crlf + description + crlf
        + QStringLiteral("Location: ") + QLatin1String(kProjectName) + QLatin1Char('.') + QLatin1String(module)
        + QLatin1Char('.') + QLatin1String(procedure) + crlf + QStringLiteral("Line ") + QString::number(line);
}

QString foreignDescription(const std::exception& e)
{
    const QString text = QString::fromLocal8Bit(e.what()).trimmed();
    return text.isEmpty() ? standardDescription(err::InternalError) : text;
}

bool Procedure::handle(const RuntimeError& e, int line)
{
    switch (m_mode) {
    case Mode::SkipErrors:
        return false;
    case Mode::QuietExit:
        m_left = true;
        return false;
    case Mode::Report:
        break;
    }
    switch (m_trap.reporter().report(reportText(e.number(), e.description(), m_module, m_procedure, line))) {
    case Answer::Retry:
        return true;
    case Answer::Ignore:
        return false;
    case Answer::Abort:
        m_trap.endProgram();
        return false;
    case Answer::Cancel:
        break;
    }
    m_left = true;
    return false;
}

} // namespace korvo::errors
