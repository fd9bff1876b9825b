#pragma once

#include "follow/FollowedState.h"
#include "protocol/DatagramParser.h"
#include "platform/MonotonicClock.h"

#include <QHostAddress>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class QTimer;

namespace korvo::follow {
class DatagramReceiver;
}

namespace korvo::display {

/// The remote display: the clock text as large as the widget allows, "Period N" above it, a pause
/// marker, and a status line naming the sender and, when it has gone quiet, the age of its last datagram.
class DisplayWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayWidget)

public:
    /// Receives diagnostic lines ("received 10:00 <ns>", "shown 10:00 <ns>"); ns on the widget's clock.
    using Trace = std::function<void(const QString&)>;

    explicit DisplayWidget(const platform::MonotonicClock& clock, QWidget* parent = nullptr);
    ~DisplayWidget() override;

    /// A port another program holds is asked for again this often, until it is free.
    static constexpr std::chrono::seconds kListenRetry{2};

    /// Shows what the receiver hears; its port appears in the waiting text. A receiver that is not listening
    /// yet is made to listen, and while its port is taken the status line says so and it tries again every
    /// kListenRetry.
    void follow(follow::DatagramReceiver& receiver);
    void setTrace(Trace trace);

    /// `payload` is the datagram as it arrived; only the trace shows it.
    void showTime(const protocol::TimeDatagram& time, const QByteArray& payload, const QHostAddress& sender);
    void showPause(const QByteArray& payload, const QHostAddress& sender);
    void toggleFullScreen();

    [[nodiscard]] QString clockText() const { return m_state.clockText(); }
    /// "Period 3", or empty before the first time datagram.
    [[nodiscard]] QString periodText() const;
    [[nodiscard]] bool isPaused() const { return m_state.isPaused(); }
    [[nodiscard]] QString statusText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void arrived(const QByteArray& payload);
    void listen(follow::DatagramReceiver& receiver);
    void refreshStatus();
    void trace(const char* what, const QString& text) const;

    const platform::MonotonicClock& m_clock;
    QTimer* m_ageTimer;
    QTimer* m_listenRetry;
    Trace m_trace;
    quint16 m_port = 0;
    follow::FollowedState m_state;
    QString m_listenError;
    QString m_paintedStatus;
    bool m_traceNextPaint = false;
    QString m_payload; ///< the last datagram shown, for the trace
};

} // namespace korvo::display
