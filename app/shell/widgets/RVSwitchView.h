// SPDX-License-Identifier: GPL-3.0-or-later
// A two-segment switch: two flat rounded buttons side by side, the marked one in the
// darker colour, reporting which side was clicked. Which side is marked exists
// only as the two colours. GUI thread only.
#pragma once

#include <QColor>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

class RVSwitchView;

class RVSwitchViewDelegate {
public:
    virtual ~RVSwitchViewDelegate() = default;
    // 0 left, 1 right; sent before the switch recolours.
    virtual void view(RVSwitchView* view, qint32 selectIndex) = 0;
};

class RVSwitchView : public QWidget {
    Q_OBJECT
public:
    explicit RVSwitchView(QWidget* parent = nullptr);

    void setDelegate(RVSwitchViewDelegate* delegate) { m_delegate = delegate; }
    RVSwitchViewDelegate* delegate() const { return m_delegate; }
    // Grey 115 and grey 68 until set; a colour set later shows at the next recolouring.
    QColor normalColor() const;
    QColor selectedColor() const;
    void setNormalColor(const QColor& colour) { m_normalColor = colour; }
    void setSelectedColor(const QColor& colour) { m_selectedColor = colour; }

    QPushButton* leftBtn() const { return m_leftBtn; }
    QPushButton* rightBtn() const { return m_rightBtn; }
    // The colour a segment shows now.
    static QColor colourOf(const QPushButton* button);

    // 13-pixel white centred titles.
    void setLeftTitle(const QString& left, const QString& rightTitle);
    // The right side marked, as when new.
    void recover();
    // YES marks the right side, NO the left; the delegate is not told.
    void changeToSelectedStatus(bool status);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void leftBtnAction();
    void rightBtnAction();
    void paint(const QColor& left, const QColor& right);

    RVSwitchViewDelegate* m_delegate = nullptr;
    QColor m_normalColor;
    QColor m_selectedColor;
    QPushButton* m_leftBtn;
    QPushButton* m_rightBtn;
};
