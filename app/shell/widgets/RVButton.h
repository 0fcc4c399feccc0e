// SPDX-License-Identifier: GPL-3.0-or-later
// The custom-drawn push button: background (image or colour), image and title from
// per-state tables, placed inside content insets left, right or centred, with a
// translucent mask over it while the mouse hovers. Its selected look follows the
// checked state both ways. GUI thread only.
//
// States: 0 normal, 1 selected, 2 highlighted (mouse over), 3 disabled. A value
// missing for the current state falls back to the selected value (when selected),
// then to the normal one; then the title colour is blue and the background clear.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPixmap>
#include <QPointer>

#include <map>
#include <optional>

class RVButton : public QAbstractButton {
    Q_OBJECT
public:
    enum State : unsigned { Normal = 0, Selected = 1, Highlighted = 2, Disabled = 3 };
    enum ContentPosition : unsigned { Centre = 0, Left = 1, Right = 2 };
    // The image position of the base button; only ImageLeft draws image and title together.
    enum ImagePosition { ImageOnly = 1, ImageLeft = 2, ImageRight = 3 };

    explicit RVButton(QWidget* parent = nullptr);

    static RVButton* buttonWithTitle(const QString& title, QObject* target, const char* member);
    static RVButton* buttonWithImage(const QPixmap& image, QObject* target, const char* member);
    // Connects the click to target's member (a slot or signal signature, as with SLOT()).
    void addTarget(QObject* target, const char* member);

    void setTitle(const QString& title, unsigned state);
    void setTitleColor(const QColor& color, unsigned state);
    void setImage(const QPixmap& image, unsigned state);
    void setBackgroundColor(const QColor& color, unsigned state);
    void setBackgroundImage(const QPixmap& image, unsigned state);
    // The base button's text and icon, and the normal-state value.
    void setTitle(const QString& title);
    void setImage(const QPixmap& image);
    // States 0, 2, 1, 3; a null image leaves its state as it was.
    void setNormalImage(const QPixmap& normal, const QPixmap& highLighted, const QPixmap& selected,
                        const QPixmap& disabled);

    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool selected);
    bool mouseHovering() const { return m_mouseHovering; }

    qint64 type() const { return m_type; }
    void setType(qint64 type) { m_type = type; }
    unsigned contentPosition() const { return m_contentPosition; }
    void setContentPosition(unsigned position) { m_contentPosition = position; }
    QMargins contentInsets() const { return m_contentInsets; }
    void setContentInsets(const QMargins& insets) { m_contentInsets = insets; }
    int imagePosition() const { return m_imagePosition; }
    void setImagePosition(int position) { m_imagePosition = position; }
    QFont titleFont();
    void setTitleFont(const QFont& font) { m_titleFont = font; }
    QColor maskColor() const { return m_maskColor; }
    void setMaskColor(const QColor& color);
    // Created on first read: white 0.5 at alpha 0.5 unless a mask colour is set.
    QWidget* maskView();
    // Rounds the two top corners (the tab bar's look).
    void setTopCornerRadius(double radius) { m_topCornerRadius = radius; }

    // The state whose values apply now, and the resolved values.
    unsigned currentState() const;
    QString currentTitle() const;
    QColor currentTitleColor() const;
    QPixmap currentImage() const;
    QColor backgroundColor() const;
    QPixmap backgroundImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    template <class V>
    std::optional<V> Resolve(const std::map<unsigned, V>& table) const;
    void StateChanged(bool checked);
    void EndHover();
    void DrawImage(QPainter& painter, const QPixmap& image, const QRectF& rect);
    void DrawTitle(QPainter& painter, const QString& title, const QRectF& rect);
    void DrawTitleImage(QPainter& painter, const QString& title, const QPixmap& image, const QRectF& rect);

    bool m_mouseHovering = false;
    bool m_isSelected = false;
    qint64 m_type = 0;
    unsigned m_contentPosition = Centre;
    int m_imagePosition = ImageLeft;
    std::optional<QFont> m_titleFont;
    QColor m_maskColor;
    QMargins m_contentInsets;
    double m_topCornerRadius = 0;
    std::map<unsigned, QPixmap> m_backgroundImages;
    std::map<unsigned, QColor> m_backgroundColors;
    std::map<unsigned, QPixmap> m_images;
    std::map<unsigned, QString> m_titles;
    std::map<unsigned, QColor> m_titleColors;
    QPointer<QWidget> m_maskView;
};
