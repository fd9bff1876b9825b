#include "errors/CrashFilter.h"

#include "errors/RuntimeError.h"

#include <algorithm>
#include <csignal>

namespace korvo::errors {

namespace {

constexpr std::uintptr_t kMinimumGuard = 64 * 1024;

struct CodeText
{
    std::uint32_t code;
    const char* text;
};

constexpr CodeText kExceptionTexts[] = {
    {exception_code::GuardPage, "Exception: Guard Page"},
    {exception_code::DatatypeMisalignment, "Exception: Datatype Misalignment"},
    {exception_code::Breakpoint, "Exception: Breakpoint"},
    {exception_code::SingleStep, "Exception: Single Step"},
    {exception_code::AccessViolation, "Exception: Access Violation"},
    {exception_code::InPageError, "Exception: In Page Error"},
    {exception_code::InvalidHandle, "Exception: Invalid Handle"},
    {exception_code::IllegalInstruction, "Exception: Illegal Instruction"},
    {exception_code::NonContinuableException, "Exception: Non Continuable Exception"},
    {exception_code::InvalidDisposition, "Exception: Invalid Disposition"},
    {exception_code::ArrayBoundsExceeded, "Exception: Array Bounds Exceeded"},
    {exception_code::FloatDenormalOperand, "Exception: Float Denormal Operand"},
    {exception_code::FloatDivideByZero, "Exception: Float Divide By Zero"},
    {exception_code::FloatInexactResult, "Exception: Float Inexact Result"},
    {exception_code::FloatInvalidOperation, "Exception: Float Invalid Operation"},
    {exception_code::FloatOverflow, "Exception: Float Overflow"},
    {exception_code::FloatStackCheck, "Exception: Float Stack Check"},
    {exception_code::FloatUnderflow, "Exception: Float Underflow"},
    {exception_code::IntegerDivideByZero, "Exception: Integer Divide By Zero"},
    {exception_code::IntegerOverflow, "Exception: Integer Overflow"},
    {exception_code::PrivInstruction, "Exception: Priv Instruction"},
    {exception_code::StackOverflow, "Exception: Stack Overflow"},
    {exception_code::ControlCExit, "Exception: Control C Exit"},
};

// A fault the table has no entry for gets no code, which reads as "Unknown Exception".
constexpr std::uint32_t kNoCode = 0;

std::uint32_t faultCode(int signal, int signalCode) noexcept
{
    switch (signal) {
    case SIGSEGV:
        return exception_code::AccessViolation;
    case SIGBUS:
        return signalCode == BUS_ADRALN ? exception_code::DatatypeMisalignment : exception_code::InPageError;
    case SIGFPE:
        switch (signalCode) {
        case FPE_INTDIV: return exception_code::IntegerDivideByZero;
        case FPE_INTOVF: return exception_code::IntegerOverflow;
        case FPE_FLTDIV: return exception_code::FloatDivideByZero;
        case FPE_FLTOVF: return exception_code::FloatOverflow;
        case FPE_FLTUND: return exception_code::FloatUnderflow;
        case FPE_FLTRES: return exception_code::FloatInexactResult;
        case FPE_FLTINV: return exception_code::FloatInvalidOperation;
        case FPE_FLTSUB: return exception_code::ArrayBoundsExceeded;
        default: return kNoCode;
        }
    case SIGILL:
        return signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG ? exception_code::PrivInstruction
                                                                   : exception_code::IllegalInstruction;
    default:
        return kNoCode;
    }
}

} // namespace

const ExceptionRecord& lastExceptionRecord(const ExceptionRecord& first)
{
    const ExceptionRecord* record = &first;
    while (record->associated != nullptr)
        record = record->associated;
    return *record;
}

QString vbwExceptionText(std::uint32_t code)
{
    const auto* found = std::find_if(std::begin(kExceptionTexts), std::end(kExceptionTexts),
                                     [code](const CodeText& entry) { return entry.code == code; });
    return found != std::end(kExceptionTexts) ? QString::fromLatin1(found->text)
                                              : QStringLiteral("Unknown Exception");
}

void vbwExceptionFilter(const ExceptionRecord& record)
{
    const ExceptionRecord last = lastExceptionRecord(record);
    errors::raise(err::Crash, vbwExceptionText(last.code));
}

bool isStackOverflowAddress(std::uintptr_t address, const StackBounds& stack) noexcept
{
    if (stack.high <= stack.low)
        return false;
    const std::uintptr_t guard = std::max<std::uintptr_t>(stack.guard, kMinimumGuard);
    const std::uintptr_t bottom = stack.low > guard ? stack.low - guard : 0;
    return address >= bottom && address < stack.high;
}

void describeFault(int signal, int signalCode, const void* address, bool stackOverflow, FaultRecords& out) noexcept
{
    out.fault = ExceptionRecord{};
    out.cause = ExceptionRecord{};
    out.fault.code = faultCode(signal, signalCode);
    out.fault.address = address;
    if (stackOverflow) {
        out.cause.code = exception_code::StackOverflow;
        out.cause.address = address;
        out.fault.associated = &out.cause;
    }
}

} // namespace korvo::errors
