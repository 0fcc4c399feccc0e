// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVButton.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

RVButton::RVButton(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setAttribute(Qt::WA_Hover);
    // The selected look follows the checked state; toggled fires only on a change,
    // so setIsSelected and this settle after one pass.
    connect(this, &QAbstractButton::toggled, this, &RVButton::StateChanged);
}

RVButton* RVButton::buttonWithTitle(const QString& title, QObject* target, const char* member)
{
    auto* button = new RVButton;
    button->setTitle(title, Normal);
    button->addTarget(target, member);
    return button;
}

RVButton* RVButton::buttonWithImage(const QPixmap& image, QObject* target, const char* member)
{
    auto* button = new RVButton;
    button->setImage(image, Normal);
    button->addTarget(target, member);
    return button;
}

void RVButton::addTarget(QObject* target, const char* member)
{
    if (target && member)
        connect(this, SIGNAL(clicked()), target, member);
}

void RVButton::setTitle(const QString& title, unsigned state)
{
    m_titles[state] = title;
}
void RVButton::setTitleColor(const QColor& color, unsigned state)
{
    m_titleColors[state] = color;
}
void RVButton::setImage(const QPixmap& image, unsigned state)
{
    m_images[state] = image;
}
void RVButton::setBackgroundColor(const QColor& color, unsigned state)
{
    m_backgroundColors[state] = color;
}
void RVButton::setBackgroundImage(const QPixmap& image, unsigned state)
{
    m_backgroundImages[state] = image;
}

void RVButton::setTitle(const QString& title)
{
    setText(title);
    m_titles[Normal] = title;
}

void RVButton::setImage(const QPixmap& image)
{
    setIcon(QIcon(image));
    m_images[Normal] = image;
}

void RVButton::setNormalImage(const QPixmap& normal, const QPixmap& highLighted, const QPixmap& selected,
                              const QPixmap& disabled)
{
    const std::pair<unsigned, const QPixmap*> entries[] = {
        {Normal, &normal}, {Highlighted, &highLighted}, {Selected, &selected}, {Disabled, &disabled}};
    for (const auto& [state, image] : entries)
        if (!image->isNull())
            m_images[state] = *image;
}

void RVButton::setIsSelected(bool selected)
{
    m_isSelected = selected;
    setChecked(selected);
}

void RVButton::StateChanged(bool checked)
{
    m_isSelected = checked;
    if (m_mouseHovering)
        EndHover();
    else
        update();
}

void RVButton::EndHover()
{
    m_mouseHovering = false;
    if (m_maskView)
        m_maskView->hide();
    update();
}

QFont RVButton::titleFont()
{
    if (!m_titleFont) {
        QFont font = QWidget::font();
        font.setPixelSize(15);
        m_titleFont = font;
    }
    return *m_titleFont;
}

void RVButton::setMaskColor(const QColor& color)
{
    m_maskColor = color;
    QWidget* mask = maskView();
    QPalette palette = mask->palette();
    palette.setColor(QPalette::Window, color);
    mask->setPalette(palette);
}

QWidget* RVButton::maskView()
{
    if (!m_maskView) {
        m_maskView = new QWidget(this);
        m_maskView->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_maskView->setAutoFillBackground(true);
        QPalette palette = m_maskView->palette();
        palette.setColor(QPalette::Window, m_maskColor.isValid() ? m_maskColor : QColor::fromRgbF(0.5, 0.5, 0.5, 0.5));
        m_maskView->setPalette(palette);
        m_maskView->setGeometry(rect());
        m_maskView->hide();
    }
    return m_maskView;
}

unsigned RVButton::currentState() const
{
    if (!isEnabled())
        return Disabled;
    if (m_mouseHovering)
        return Highlighted;
    return m_isSelected ? Selected : Normal;
}

template <class V>
std::optional<V> RVButton::Resolve(const std::map<unsigned, V>& table) const
{
    if (auto it = table.find(currentState()); it != table.end())
        return it->second;
    if (m_isSelected)
        if (auto it = table.find(Selected); it != table.end())
            return it->second;
    if (auto it = table.find(Normal); it != table.end())
        return it->second;
    return std::nullopt;
}

QString RVButton::currentTitle() const
{
    return Resolve(m_titles).value_or(QString());
}
QColor RVButton::currentTitleColor() const
{
    return Resolve(m_titleColors).value_or(QColor(0, 122, 255));
}
QPixmap RVButton::currentImage() const
{
    return Resolve(m_images).value_or(QPixmap());
}
QColor RVButton::backgroundColor() const
{
    return Resolve(m_backgroundColors).value_or(QColor(0, 0, 0, 0));
}
QPixmap RVButton::backgroundImage() const
{
    return Resolve(m_backgroundImages).value_or(QPixmap());
}

QSize RVButton::sizeHint() const
{
    const QFontMetrics metrics(m_titleFont.value_or(font()));
    const QSize image = currentImage().size();
    return QSize(metrics.horizontalAdvance(currentTitle()) + image.width() + 10 + m_contentInsets.left() +
                     m_contentInsets.right(),
                 std::max(metrics.height(), image.height()) + m_contentInsets.top() + m_contentInsets.bottom());
}

void RVButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    m_mouseHovering = true;
    QWidget* mask = maskView();
    mask->setGeometry(rect());
    mask->raise();
    mask->show();
    update();
}

void RVButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    EndHover();
}

void RVButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    if (m_maskView)
        m_maskView->setGeometry(rect());
}

void RVButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    if (m_topCornerRadius > 0) {
        QPainterPath clip;
        clip.addRoundedRect(r.adjusted(0, 0, 0, m_topCornerRadius), m_topCornerRadius, m_topCornerRadius);
        painter.setClipPath(clip);
    }
    // The mouse over an unselected button shows the selected background when one is set.
    const bool hoverOverride = m_mouseHovering && !m_isSelected;
    QPixmap background = backgroundImage();
    if (!background.isNull()) {
        if (hoverOverride && m_backgroundImages.count(Selected))
            background = m_backgroundImages.at(Selected);
        painter.drawPixmap(r.toRect(), background);
    } else {
        QColor colour = backgroundColor();
        if (hoverOverride && m_backgroundColors.count(Selected))
            colour = m_backgroundColors.at(Selected);
        painter.fillRect(r, colour);
    }
    painter.setClipping(false);

    const double x = r.x() + m_contentInsets.left();
    const double y = r.y() + m_contentInsets.top();
    const double w = r.width() - m_contentInsets.left() - m_contentInsets.right();
    const double h = r.height() - m_contentInsets.top() - m_contentInsets.bottom();
    const QString title = currentTitle();
    const QPixmap image = currentImage();
    if (!title.isEmpty() && !image.isNull()) {
        DrawTitleImage(painter, title, image, QRectF(x, y, w, h));
    } else if (!image.isNull()) {
        const double iw = image.width() / image.devicePixelRatio();
        QRectF box(x, y, w, h);
        if (m_contentPosition == Left)
            box = QRectF(x + 5, y, iw, h);
        else if (m_contentPosition == Right)
            box = QRectF(x + w - iw - 5, y, iw, h);
        DrawImage(painter, image, box);
    } else if (!title.isEmpty()) {
        painter.setFont(titleFont());
        const double tw = QFontMetricsF(titleFont()).horizontalAdvance(title);
        QRectF box(x, y, w, h);
        if (m_contentPosition == Left)
            box = QRectF(x + 5, y, tw, h);
        else if (m_contentPosition == Right)
            box = QRectF(x + w - tw - 5, y, tw, h);
        DrawTitle(painter, title, box);
    }
}

void RVButton::DrawImage(QPainter& painter, const QPixmap& image, const QRectF& rect)
{
    const QSizeF size = image.size() / image.devicePixelRatio();
    painter.drawPixmap(QRectF(rect.center() - QPointF(size.width() / 2, size.height() / 2), size), image,
                       QRectF(image.rect()));
}

void RVButton::DrawTitle(QPainter& painter, const QString& title, const QRectF& rect)
{
    painter.setFont(titleFont());
    painter.setPen(currentTitleColor());
    const QFontMetricsF metrics(titleFont());
    const QSizeF size(metrics.horizontalAdvance(title), metrics.height());
    const QRectF box(rect.center() - QPointF(size.width() / 2, size.height() / 2), size);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, title);
}

void RVButton::DrawTitleImage(QPainter& painter, const QString& title, const QPixmap& image, const QRectF& rect)
{
    if (m_imagePosition != ImageLeft)
        return;
    const QFontMetricsF metrics(titleFont());
    const QSizeF text(metrics.horizontalAdvance(title), metrics.height());
    const QSizeF picture = image.size() / image.devicePixelRatio();
    const double group = picture.width() + 5 + text.width();
    double left = rect.x() + rect.width() / 2 - group / 2;
    if (m_contentPosition == Left)
        left = rect.x() + 5;
    else if (m_contentPosition == Right)
        left = rect.x() + rect.width() - 5 - group;
    const double cy = rect.y() + rect.height() / 2;
    const double height = std::max(text.height(), picture.height());
    painter.drawPixmap(QRectF(QPointF(left, cy - picture.height() / 2), picture), image, QRectF(image.rect()));
    DrawTitle(painter, title, QRectF(left + picture.width() + 5, cy - height / 2, text.width(), height));
}
