#include "errors/StepGuard.h"

#include "errors/CrashFilter.h"

#include <atomic>

#if defined(__linux__)
#include <memory>

#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#endif

namespace korvo::errors {

#if defined(__linux__)

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr std::size_t kAltStackSize = 256 * 1024;

/// One running step: where execution resumes after a fault inside it, and what the fault was.
struct Frame
{
    sigjmp_buf resume;
    Frame* outer = nullptr;
    FaultRecords records;
};

// Only plain, constant-initialised thread-locals are read by the signal handler.
thread_local Frame* t_innermost = nullptr;
thread_local StackBounds t_stack;
thread_local bool t_prepared = false;

std::atomic<bool> g_installed{false};
std::atomic<int> g_registrations{0};

/// A thread's alternate signal stack: a thread that has run out of stack can only be told so on another.
class AltStack final
{
public:
    AltStack() = default;
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;

    ~AltStack()
    {
        if (!m_memory)
            return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == m_memory.get()
            && (current.ss_flags & SS_ONSTACK) == 0) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
    }

    void install()
    {
        m_memory = std::make_unique<char[]>(kAltStackSize);
        stack_t stack{};
        stack.ss_sp = m_memory.get();
        stack.ss_size = kAltStackSize;
        if (sigaltstack(&stack, nullptr) != 0)
            m_memory.reset();
    }

private:
    std::unique_ptr<char[]> m_memory;
};

thread_local AltStack t_altStack;

/// Gives the calling thread what the fault handler needs of it: an alternate stack (unless it has
/// one) and the bounds of its own stack, which cannot be asked for safely inside the handler.
void prepareThread()
{
    t_prepared = true;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0)
        t_altStack.install();

    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return;
    void* low = nullptr;
    std::size_t size = 0;
    std::size_t guard = 0;
    if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
        t_stack.low = reinterpret_cast<std::uintptr_t>(low);
        t_stack.high = t_stack.low + size;
    }
    if (pthread_attr_getguardsize(&attributes, &guard) == 0)
        t_stack.guard = guard;
    pthread_attr_destroy(&attributes);
}

void onFault(int signal, siginfo_t* info, void* /*context*/)
{
    Frame* const frame = t_innermost;
    // si_code > 0 (SI_KERNEL included) marks a fault of the instruction just executed; a signal that
    // some process or thread sent is not a fault of the running step.
    if (frame != nullptr && info->si_code > 0) {
        t_innermost = frame->outer;
        const bool overflow
            = signal == SIGSEGV && isStackOverflowAddress(reinterpret_cast<std::uintptr_t>(info->si_addr), t_stack);
        describeFault(signal, info->si_code, info->si_addr, overflow, frame->records);
        siglongjmp(frame->resume, 1);
    }
    // Outside any step the fault is not ours to handle: with the default disposition back in place, the
    // faulting instruction runs again on return and the system ends the process as it always would.
    struct sigaction standard{};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    if (info->si_code <= 0)
        ::raise(signal);
}

/// Makes a frame the innermost one for the life of a step, however the step ends.
class FrameScope final
{
public:
    explicit FrameScope(Frame& frame) noexcept
        : m_frame(frame)
    {
        m_frame.outer = t_innermost;
        t_innermost = &m_frame;
    }
    ~FrameScope() { t_innermost = m_frame.outer; }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;

private:
    Frame& m_frame;
};

} // namespace

void runGuarded(void (*step)(void*), void* context)
{
    if (!t_prepared && g_installed.load(std::memory_order_relaxed))
        prepareThread();
    Frame frame;
    const FrameScope scope(frame);
    // No signal mask is saved or restored: the handlers do not block their signal (SA_NODEFER), so a step
    // costs no system call.
    if (sigsetjmp(frame.resume, 0) != 0)
        vbwExceptionFilter(frame.records.fault);
    step(context);
}

bool insideStep() noexcept
{
    return t_innermost != nullptr;
}

bool installFaultHandlers()
{
    prepareThread();
    struct sigaction action{};
    action.sa_sigaction = &onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFaultSignals) {
        if (sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    g_installed.store(true, std::memory_order_relaxed);
    g_registrations.fetch_add(1, std::memory_order_relaxed);
    return true;
}

#else

namespace {
std::atomic<int> g_registrations{0};
thread_local int t_depth = 0;
} // namespace

// Without a fault handler for this platform, faults keep the system's default behaviour.
void runGuarded(void (*step)(void*), void* context)
{
    struct Depth
    {
        Depth() { ++t_depth; }
        ~Depth() { --t_depth; }
    } const depth;
    step(context);
}

bool insideStep() noexcept
{
    return t_depth > 0;
}

bool installFaultHandlers()
{
    return true;
}

#endif

int faultHandlerRegistrations()
{
    return g_registrations.load(std::memory_order_relaxed);
}

} // namespace korvo::errors
