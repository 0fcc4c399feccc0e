// SPDX-License-Identifier: GPL-3.0-or-later
// Labels. RVLabel draws its text in a band of height textHeight, centred vertically
// in the widget, and sizes itself from its text through sizeHint and heightForWidth.
// NSLabel is a plain read-only label whose text is centred vertically; while
// disabled it lets clicks through to the widget below. GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include <optional>

namespace widgets {
// The text-alignment codes of the labels: 0 left, 1 right, 2 centre, 3 justified,
// 4 natural. None for any other code.
std::optional<Qt::Alignment> HorizontalAlignment(qint64 code);
} // namespace widgets

class RVLabel : public QWidget {
    Q_OBJECT
public:
    explicit RVLabel(QWidget* parent = nullptr);

    // The 14-pixel system font and black until set.
    QFont font() const;
    void setFont(const QFont& font);
    QColor textColor() const;
    void setTextColor(const QColor& colour); // an invalid colour means black
    QString string() const { return m_string; }
    void setString(const QString& text);     // a null text shows as ""
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& colour);
    qint64 numberOfLines() const { return m_numberOfLines; }
    void setNumberOfLines(qint64 count);     // wraps at any character unless 1
    qint64 alignment() const { return m_alignment; }
    void setAlignment(qint64 code);          // other codes keep the drawn alignment
    double textHeight() const { return m_textHeight; }
    // The band the text is drawn in: full width, textHeight high, centred.
    QRectF textBand() const;
    Qt::Alignment drawnAlignment() const { return m_drawnAlignment; }
    bool wraps() const { return m_numberOfLines != 1; }

    // Line height of the font (ascent + descent).
    double lineHeight() const;
    // One line: the text's width by one line height + 2. Wrapping: the width now by heightForWidth.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    bool hasHeightForWidth() const override { return wraps(); }
    // The height of the text wrapped in the width, at least one line, + 2.
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();

    double m_textHeight = 0;
    mutable QFont m_font;
    mutable bool m_hasFont = false;
    QColor m_textColor;
    QString m_string;
    QColor m_backgroundColor;
    qint64 m_numberOfLines = 1;
    qint64 m_alignment = 0;
    Qt::Alignment m_drawnAlignment = Qt::AlignLeft;
};

class NSLabel : public QLabel {
    Q_OBJECT
public:
    explicit NSLabel(QWidget* parent = nullptr);

    // Text, font and alignment code (see HorizontalAlignment) at once; the text is
    // centred vertically.
    void setText(const QString& text, const QFont& font, qint64 textAlignment);
    qint64 textAlignment() const { return m_textAlignment; }

protected:
    void changeEvent(QEvent* event) override;

private:
    qint64 m_textAlignment = 0;
};
