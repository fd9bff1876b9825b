#pragma once

#include <QObject>

namespace korvo::platform {

/// The clock's heartbeat: a run switch, a tick event and the count of ticks missed before each event.
class TickTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TickTimer() override = default;

    /// On: ticks begin one period later. Off: no tick arrives after this returns. Repeating a value is harmless.
    virtual void setEnabled(bool on) = 0;
    /// Whole periods that passed without an event of their own before the current tick (0 when on time).
    [[nodiscard]] virtual int missedTicks() const = 0;

signals:
    void tick();
};

} // namespace korvo::platform
