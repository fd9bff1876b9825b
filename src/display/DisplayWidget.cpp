#include "display/DisplayWidget.h"

#include "follow/DatagramReceiver.h"
#include "protocol/TimeMessage.h"

#include <QFont>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace korvo::display {

namespace {

const QColor kBackground(0, 0, 0);
const QColor kDigits(255, 255, 255);
const QColor kDigitsPaused(150, 150, 150);
const QColor kPeriod(190, 205, 255);
const QColor kPauseMarker(255, 176, 0);
const QColor kStatus(140, 140, 140);
const QColor kError(255, 90, 90);

constexpr int kReferencePixels = 100;
constexpr std::chrono::milliseconds kStatusRefresh{250};

QFont digitFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    return font;
}

QFont labelFont(bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    return font;
}

int pixels(qreal size)
{
    return std::max(1, static_cast<int>(std::floor(size)));
}

/// Widths and ink extent of the clock glyphs at the reference size. Every glyph but ':' occupies the
/// cell of the widest digit, so a changing digit never shifts the others and the size depends only on
/// how many characters there are.
struct Cells
{
    qreal digit = 0;
    qreal colon = 0;
    qreal inkTop = 0;    // relative to the baseline, negative is up
    qreal inkBottom = 0;

    [[nodiscard]] qreal width(const QString& text) const
    {
        qreal w = 0;
        for (const QChar c : text)
            w += c == QLatin1Char(':') ? colon : digit;
        return w;
    }
};

Cells measureCells(QFont font)
{
    font.setPixelSize(kReferencePixels);
    const QFontMetricsF metrics(font);
    Cells cells;
    for (const QChar c : QStringLiteral("0123456789-"))
        cells.digit = std::max(cells.digit, metrics.horizontalAdvance(c));
    cells.colon = metrics.horizontalAdvance(QLatin1Char(':'));
    const QRectF ink = metrics.tightBoundingRect(QStringLiteral("0123456789"));
    cells.inkTop = ink.top();
    cells.inkBottom = ink.bottom();
    return cells;
}

void drawClock(QPainter& painter, const QRectF& area, const QString& text, const QColor& colour)
{
    QFont font = digitFont();
    const Cells cells = measureCells(font);
    const qreal width = cells.width(text);
    const qreal inkHeight = cells.inkBottom - cells.inkTop;
    if (width <= 0 || inkHeight <= 0)
        return;
    const int size = pixels(kReferencePixels * std::min(area.width() / width, area.height() / inkHeight));
    font.setPixelSize(size);
    const qreal scale = static_cast<qreal>(size) / kReferencePixels;
    const QFontMetricsF metrics(font);

    painter.setFont(font);
    painter.setPen(colour);
    qreal x = area.center().x() - width * scale / 2;
    const qreal baseline = area.center().y() - (cells.inkTop + cells.inkBottom) * scale / 2;
    for (const QChar c : text) {
        const qreal cell = (c == QLatin1Char(':') ? cells.colon : cells.digit) * scale;
        painter.drawText(QPointF(x + (cell - metrics.horizontalAdvance(c)) / 2, baseline), QString(c));
        x += cell;
    }
}

/// The largest font in which text fits the box, no larger than maxPixels.
QFont fittedFont(QFont font, const QString& text, const QSizeF& box, qreal maxPixels)
{
    font.setPixelSize(kReferencePixels);
    const QFontMetricsF metrics(font);
    const qreal w = std::max<qreal>(1, metrics.horizontalAdvance(text));
    const qreal h = std::max<qreal>(1, metrics.height());
    const qreal scale = std::min({box.width() / w, box.height() / h, maxPixels / kReferencePixels});
    font.setPixelSize(pixels(kReferencePixels * scale));
    return font;
}

void drawPauseMarker(QPainter& painter, const QRectF& area)
{
    const QString word = QStringLiteral("PAUSED");
    const QFont font = fittedFont(labelFont(true), word, QSizeF(area.width() * 0.6, area.height()), area.height());
    const QFontMetricsF metrics(font);
    const qreal barHeight = metrics.capHeight();
    const qreal barWidth = barHeight * 0.34;
    const qreal gap = barWidth * 0.7;
    const qreal iconWidth = 2 * barWidth + gap;
    const qreal spacing = barHeight * 0.6;
    const qreal total = iconWidth + spacing + metrics.horizontalAdvance(word);
    const qreal left = area.center().x() - total / 2;
    const qreal baseline = area.center().y() + barHeight / 2;

    painter.setPen(Qt::NoPen);
    painter.setBrush(kPauseMarker);
    painter.drawRect(QRectF(left, baseline - barHeight, barWidth, barHeight));
    painter.drawRect(QRectF(left + barWidth + gap, baseline - barHeight, barWidth, barHeight));
    painter.setFont(font);
    painter.setPen(kPauseMarker);
    painter.drawText(QPointF(left + iconWidth + spacing, baseline), word);
}

} // namespace

DisplayWidget::DisplayWidget(const platform::MonotonicClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_ageTimer(new QTimer(this)), m_listenRetry(new QTimer(this))
{
    setObjectName(QStringLiteral("displayWindow"));
    setWindowTitle(QStringLiteral("Korvo Display"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 90);
    m_port = protocol::kBroadcastPort;
    m_paintedStatus = statusText();

    m_ageTimer->setInterval(kStatusRefresh);
    connect(m_ageTimer, &QTimer::timeout, this, &DisplayWidget::refreshStatus);
    m_ageTimer->start();
    m_listenRetry->setInterval(kListenRetry);
}

DisplayWidget::~DisplayWidget() = default;

void DisplayWidget::follow(follow::DatagramReceiver& receiver)
{
    connect(&receiver, &follow::DatagramReceiver::timeReceived, this, &DisplayWidget::showTime);
    connect(&receiver, &follow::DatagramReceiver::pauseReceived, this, &DisplayWidget::showPause);
    connect(m_listenRetry, &QTimer::timeout, this, [this, &receiver] { listen(receiver); });
    listen(receiver);
}

void DisplayWidget::listen(follow::DatagramReceiver& receiver)
{
    // A program that binds the port without sharing it keeps every display out until it lets go; the
    // display waits it out instead of giving up for good.
    if (receiver.isListening() || receiver.listen()) {
        m_listenRetry->stop();
        m_listenError.clear();
    } else {
        m_listenRetry->start();
        m_listenError = receiver.errorString();
    }
    m_port = receiver.port();
    refreshStatus();
}

void DisplayWidget::setTrace(Trace trace)
{
    m_trace = std::move(trace);
}

void DisplayWidget::showTime(const protocol::TimeDatagram& time, const QByteArray& payload, const QHostAddress& sender)
{
    m_state.showTime(time, sender, m_clock.now());
    arrived(payload);
}

void DisplayWidget::showPause(const QByteArray& payload, const QHostAddress& sender)
{
    m_state.showPause(sender, m_clock.now());
    arrived(payload);
}

void DisplayWidget::arrived(const QByteArray& payload)
{
    m_payload = QString::fromLatin1(payload);
    trace("received", m_payload);
    m_paintedStatus = statusText();
    m_traceNextPaint = static_cast<bool>(m_trace);
    update();
}

QString DisplayWidget::periodText() const
{
    const auto period = m_state.period();
    return period ? QStringLiteral("Period %1").arg(*period) : QString();
}

QString DisplayWidget::statusText() const
{
    if (!m_listenError.isEmpty())
        return QStringLiteral("cannot listen on port %1: %2 \u2014 trying again every %3 s")
            .arg(m_port)
            .arg(m_listenError)
            .arg(kListenRetry.count());
    if (!m_state.hasHeard())
        return QStringLiteral("waiting for the clock on port %1").arg(m_port);
    QString text = QStringLiteral("from %1").arg(m_state.sender().toString());
    if (const auto quiet = m_state.quietFor(m_clock.now()))
        text += QStringLiteral(" \u2014 last update %1 s ago").arg(quiet->count());
    return text;
}

void DisplayWidget::refreshStatus()
{
    const QString now = statusText();
    if (now != m_paintedStatus) {
        m_paintedStatus = now;
        update();
    }
}

void DisplayWidget::toggleFullScreen()
{
    QWidget* top = window();
    if (top->isFullScreen())
        top->showNormal();
    else
        top->showFullScreen();
}

void DisplayWidget::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), kBackground);

    const QRectF all(rect());
    const qreal margin = std::min(all.width(), all.height()) * 0.03;
    const QRectF content = all.adjusted(margin, margin, -margin, -margin);
    const qreal h = content.height();
    const QRectF periodBand(content.left(), content.top(), content.width(), h * 0.16);
    const QRectF clockBand(content.left(), periodBand.bottom() + h * 0.02, content.width(), h * 0.56);
    const QRectF pauseBand(content.left(), clockBand.bottom() + h * 0.02, content.width(), h * 0.14);
    const QRectF statusBand(content.left(), pauseBand.bottom(), content.width(), content.bottom() - pauseBand.bottom());

    const QString period = periodText();
    if (!period.isEmpty()) {
        painter.setFont(fittedFont(labelFont(true), period, periodBand.size() * 0.9, periodBand.height()));
        painter.setPen(kPeriod);
        painter.drawText(periodBand, Qt::AlignCenter, period);
    }

    drawClock(painter, clockBand, m_state.clockText(), m_state.isPaused() ? kDigitsPaused : kDigits);
    if (m_state.isPaused())
        drawPauseMarker(painter, pauseBand);

    const QString status = statusText();
    m_paintedStatus = status;
    painter.setFont(fittedFont(labelFont(false), status, statusBand.size(), std::clamp(statusBand.height() * 0.45, 9.0, 32.0)));
    painter.setPen(m_listenError.isEmpty() ? kStatus : kError);
    painter.drawText(statusBand, Qt::AlignCenter, status);
    painter.end();

    if (m_traceNextPaint) {
        m_traceNextPaint = false;
        trace("shown", m_payload);
    }
}

void DisplayWidget::trace(const char* what, const QString& text) const
{
    if (m_trace)
        m_trace(QStringLiteral("%1 %2 %3").arg(QLatin1String(what), text).arg(m_clock.now().count()));
}

void DisplayWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11) {
        toggleFullScreen();
    } else if (event->key() == Qt::Key_Escape && window()->isFullScreen()) {
        window()->showNormal();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void DisplayWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        toggleFullScreen();
    else
        QWidget::mouseDoubleClickEvent(event);
}

void DisplayWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        // Nobody needs a mouse pointer over a scoreboard.
        if (window()->isFullScreen())
            setCursor(Qt::BlankCursor);
        else
            unsetCursor();
    }
    QWidget::changeEvent(event);
}

} // namespace korvo::display
