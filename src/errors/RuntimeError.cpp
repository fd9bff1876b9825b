#include "errors/RuntimeError.h"

namespace korvo::errors {

QString standardDescription(std::int32_t number)
{
    switch (number) {
    case err::InvalidCall: return QStringLiteral("Invalid procedure call or argument");
    case err::Overflow: return QStringLiteral("Overflow");
    case err::OutOfMemory: return QStringLiteral("Out of memory");
    case err::SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case err::DivisionByZero: return QStringLiteral("Division by zero");
    case err::TypeMismatch: return QStringLiteral("Type mismatch");
    case err::InternalError: return QStringLiteral("Internal error");
    case err::BadFileName: return QStringLiteral("Bad file name or number");
    case err::FileNotFound: return QStringLiteral("File not found");
    case err::InputPastEndOfFile: return QStringLiteral("Input past end of file");
    case err::PathFileAccess: return QStringLiteral("Path/File access error");
    case err::PathNotFound: return QStringLiteral("Path not found");
    case err::InvalidFileFormat: return QStringLiteral("Invalid file format");
    case err::ObjectNotSet: return QStringLiteral("Object variable or With block variable not set");
    case err::InvalidPropertyValue: return QStringLiteral("Invalid property value");
    case err::CannotSizeMinMax: return QStringLiteral("Can't move or size a minimized or maximized window");
    case err::NoSuchMember: return QStringLiteral("Object doesn't support this property or method");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

void raise(std::int32_t number)
{
    throw RuntimeError(number, standardDescription(number));
}

void raise(std::int32_t number, const QString& description)
{
    throw RuntimeError(number, description);
}

} // namespace korvo::errors
