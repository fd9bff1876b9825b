#pragma once

#include "errors/RuntimeError.h"
#include "errors/StepGuard.h"
#include "errors/Trap.h"

#include <QString>

#include <exception>
#include <memory>
#include <new>
#include <source_location>
#include <type_traits>
#include <utility>

namespace korvo::errors {

/// The text of an exception that is not one of the program's own errors (its what(), else "Internal error").
[[nodiscard]] QString foreignDescription(const std::exception& e);

/// The error handler of one procedure, armed for its whole body.
///
/// Each statement that may fail is written as one step:
///
///     Procedure p(trap, "frmMAIN", "cmdSTART_Click");
///     p([&] { timer.setEnabled(true); });
///     p([&] { UNPAUSED(); });
///
/// A failing step is reported ("Error n" / description / "Location: KorvoTimer.module.procedure" /
/// "Line n") and the operator's answer decides: Retry runs the step again, Ignore skips it (whatever it
/// would have assigned keeps its value), Abort ends the program, any other answer leaves the procedure.
/// A step should therefore assign its result only as its last action.
///
/// The line reported is the source line of the step, which identifies it within its module file.
///
/// A window may derive the handler of its own procedures, to do more as each of them returns.
class Procedure
{
    Q_DISABLE_COPY_MOVE(Procedure)
public:
    enum class Mode {
        Report,     ///< the standard handler: report and ask
        SkipErrors, ///< a failing step is skipped silently
        QuietExit,  ///< a failing step leaves the procedure silently
    };

    Procedure(Trap& trap, const char* module, const char* procedure)
        : m_trap(trap)
        , m_module(module)
        , m_procedure(procedure)
    {
    }

    /// Run one step under the handler.
    template <class Step>
    void operator()(Step&& step, std::source_location where = std::source_location::current())
    {
        at(static_cast<int>(where.line()), std::forward<Step>(step));
    }

    /// Run one step reported as the given line (for shared helpers that run steps on a caller's behalf).
    template <class Step>
    void at(int line, Step&& step)
    {
        static_assert(std::is_invocable_v<Step&>, "a step is a callable without arguments");
        auto* const callable = std::addressof(step);
        using Callable = std::remove_pointer_t<decltype(callable)>;
        while (active()) {
            try {
                runGuarded([](void* s) { (*static_cast<Callable*>(s))(); },
                           const_cast<void*>(static_cast<const void*>(callable)));
                return;
            } catch (const RuntimeError& e) {
                if (!handle(e, line))
                    return;
            } catch (const std::bad_alloc&) {
                if (!handle(RuntimeError(err::OutOfMemory, standardDescription(err::OutOfMemory)), line))
                    return;
            } catch (const std::exception& e) {
                // A library's own failure: reported like any other, in its own words.
                if (!handle(RuntimeError(err::InternalError, foreignDescription(e)), line))
                    return;
            }
        }
    }

    /// From here on, failing steps are skipped without a report.
    void skipErrors() { m_mode = Mode::SkipErrors; }
    /// From here on, a failing step leaves the procedure without a report.
    void quietExit() { m_mode = Mode::QuietExit; }

    /// False once the procedure has been left (quiet exit, Cancel) or the program has ended.
    [[nodiscard]] bool active() const { return !m_left && !m_trap.ended(); }
    [[nodiscard]] Trap& trap() const { return m_trap; }

private:
    /// Returns true when the step is to be run again.
    bool handle(const RuntimeError& e, int line);

    Trap& m_trap;
    const char* m_module;
    const char* m_procedure;
    Mode m_mode = Mode::Report;
    bool m_left = false;
};

/// The report text, exactly as the message box shows it.
[[nodiscard]] QString reportText(std::int32_t number, const QString& description, const char* module,
                                 const char* procedure, int line);

} // namespace korvo::errors
