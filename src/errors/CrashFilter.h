#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

/// The crash filter of module "vbwProtector": what a processor fault is called, and how it becomes the crash
/// error that the running step's procedure reports.
namespace korvo::errors {

/// Exception codes as the exception records carry them.
namespace exception_code {
inline constexpr std::uint32_t GuardPage = 0x80000001;
inline constexpr std::uint32_t DatatypeMisalignment = 0x80000002;
inline constexpr std::uint32_t Breakpoint = 0x80000003;
inline constexpr std::uint32_t SingleStep = 0x80000004;
inline constexpr std::uint32_t AccessViolation = 0xC0000005;
inline constexpr std::uint32_t InPageError = 0xC0000006;
inline constexpr std::uint32_t InvalidHandle = 0xC0000008;
inline constexpr std::uint32_t IllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t NonContinuableException = 0xC0000025;
inline constexpr std::uint32_t InvalidDisposition = 0xC0000026;
inline constexpr std::uint32_t ArrayBoundsExceeded = 0xC000008C;
inline constexpr std::uint32_t FloatDenormalOperand = 0xC000008D;
inline constexpr std::uint32_t FloatDivideByZero = 0xC000008E;
inline constexpr std::uint32_t FloatInexactResult = 0xC000008F;
inline constexpr std::uint32_t FloatInvalidOperation = 0xC0000090;
inline constexpr std::uint32_t FloatOverflow = 0xC0000091;
inline constexpr std::uint32_t FloatStackCheck = 0xC0000092;
inline constexpr std::uint32_t FloatUnderflow = 0xC0000093;
inline constexpr std::uint32_t IntegerDivideByZero = 0xC0000094;
inline constexpr std::uint32_t IntegerOverflow = 0xC0000095;
inline constexpr std::uint32_t PrivInstruction = 0xC0000096;
inline constexpr std::uint32_t StackOverflow = 0xC00000FD;
inline constexpr std::uint32_t ControlCExit = 0xC000013A;
} // namespace exception_code

/// One exception record in the operating system's published layout. Records may be chained: a record
/// links to an associated one, and the last record of the chain names the exception.
struct ExceptionRecord
{
    static constexpr std::size_t kMaximumParameters = 15;

    std::uint32_t code = 0;
    std::uint32_t flags = 0;
    const ExceptionRecord* associated = nullptr;
    const void* address = nullptr;
    std::uint32_t parameterCount = 0;
    std::uint32_t parameters[kMaximumParameters] = {};
};

/// The last record of the chain that starts at `first`; its code names the exception.
[[nodiscard]] const ExceptionRecord& lastExceptionRecord(const ExceptionRecord& first);

/// The exception's text by its code; "Unknown Exception" for a code the table does not know.
[[nodiscard]] QString vbwExceptionText(std::uint32_t code);

/// Turns an exception into the crash error: walks the record's chain and raises error 65535 with the
/// text of the last record's code. Called, outside any signal context, on the thread that faulted.
[[noreturn]] void vbwExceptionFilter(const ExceptionRecord& record);

/// Where a thread's stack lies: [low, high) is usable, `guard` bytes below `low` are its guard region.
struct StackBounds
{
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
    std::size_t guard = 0;
};

/// True when an invalid access at `address` means the thread ran out of stack: the address lies in the
/// guard region below the stack (at least 64 KiB are taken as guard, since one large frame can step over
/// a single guard page) or inside the stack's own range, which faults only where it could not grow.
[[nodiscard]] bool isStackOverflowAddress(std::uintptr_t address, const StackBounds& stack) noexcept;

/// The records describing one processor fault: `fault` names what the processor reported and links to
/// `cause` when more is known about it (an invalid access that ran out of stack).
struct FaultRecords
{
    FaultRecords() = default;
    FaultRecords(const FaultRecords&) = delete;
    FaultRecords& operator=(const FaultRecords&) = delete;

    ExceptionRecord fault;
    ExceptionRecord cause;
};

/// Fills `out` for a fault signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL) with its si_code and address.
/// Safe to call from a signal handler.
void describeFault(int signal, int signalCode, const void* address, bool stackOverflow, FaultRecords& out) noexcept;

} // namespace korvo::errors
