#pragma once

#include <QPainterPath>
#include <QPushButton>

namespace korvo::ui {

/// A push button whose caption is one character of the classic media symbol set: "3" left triangle,
/// "4" play, "5" up, "6" down, "7" rewind, "8" fast forward, "9" skip back, ":" skip forward, ";" pause,
/// "@" settings (a gear), "q" reset (a circular arrow).
///
/// The caption stays that character (text() returns it), but the button paints the symbol itself as
/// vector shapes, so no symbol font has to be installed and the symbol stays sharp at any scale.
/// The symbol's size follows the button's font size, as the glyph would have.
class SymbolButton final : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolButton)
public:
    explicit SymbolButton(const QString& caption, QWidget* parent = nullptr);

    /// Whether a caption character has a symbol of its own (others are painted as plain text).
    [[nodiscard]] static bool hasSymbol(QChar caption);
    /// The filled outline of a caption's symbol, fitted into a square box; empty when it has none.
    [[nodiscard]] static QPainterPath symbolPath(QChar caption, const QRectF& box);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvo::ui
