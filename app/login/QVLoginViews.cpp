// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVLoginViews.h"

#include "app/login/QVUserRecords.h"
#include "app/login/QVUserSelectInfoModel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kText(0x33, 0x33, 0x33);
const QColor kPlaceholder(0x99, 0x99, 0x99);
const QColor kLine(0x33, 0x33, 0x33, 0x80);
const QColor kBlue(0x18, 0x90, 0xFF);

QFont SystemFont(int size)
{
    QFont font;
    font.setPixelSize(size);
    return font;
}

void SetTag(QObject* object, qint64 tag)
{
    object->setProperty("rvTag", tag);
}

QWidget* MakeLine(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(QStringLiteral("background-color: rgba(51,51,51,128);"));
    return line;
}

QLineEdit* MakeField(QWidget* parent, const QString& placeholder)
{
    auto* field = new QLineEdit(parent);
    field->setFrame(false);
    field->setFont(SystemFont(14));
    field->setPlaceholderText(placeholder);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, kText);
    palette.setColor(QPalette::PlaceholderText, kPlaceholder);
    palette.setColor(QPalette::Base, Qt::transparent);
    field->setPalette(palette);
    field->setAttribute(Qt::WA_MacShowFocusRect, false);
    return field;
}

QToolButton* MakeImageButton(QWidget* parent, const QString& image, QSize size)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(QVLoginImage(image));
    button->setIconSize(size);
    button->setStyleSheet(QStringLiteral("QToolButton{border:none;background:transparent;padding:0;}"));
    return button;
}

QLabel* MakeImage(QWidget* parent, const QString& image)
{
    auto* label = new QLabel(parent);
    label->setPixmap(QVLoginImage(image));
    label->setScaledContents(true);
    return label;
}

QPixmap Canvas(int w, int h, const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(w * 2, h * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return pixmap;
}

} // namespace

qint64 QVLoginTag(const QObject* button)
{
    return button ? button->property("rvTag").toLongLong() : 0;
}

QPixmap QVLoginImage(const QString& name)
{
    const auto pen = [](QPainter& p, QColor c, qreal w = 1.4) {
        p.setPen(QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
    };
    if (name == QLatin1String("login_bg"))
        return Canvas(300, 180, [](QPainter& p) {
            QLinearGradient g(0, 0, 300, 180);
            g.setColorAt(0, QColor(0x1C, 0x6E, 0xD8));
            g.setColorAt(1, QColor(0x32, 0xB4, 0xF0));
            p.fillRect(QRect(0, 0, 300, 180), g);
        });
    if (name == QLatin1String("login_wave"))
        return Canvas(300, 60, [](QPainter& p) {
            QPainterPath path(QPointF(0, 30));
            path.cubicTo(80, 0, 200, 60, 300, 20);
            path.lineTo(300, 60);
            path.lineTo(0, 60);
            path.closeSubpath();
            p.fillPath(path, Qt::white);
        });
    if (name == QLatin1String("login_logo"))
        return Canvas(100, 100, [](QPainter& p) {
            p.setBrush(Qt::white);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(0, 0, 100, 100));
            p.setBrush(kBlue);
            QPainterPath tooth;
            tooth.moveTo(30, 32);
            tooth.cubicTo(40, 22, 60, 22, 70, 32);
            tooth.cubicTo(74, 48, 66, 58, 64, 74);
            tooth.cubicTo(58, 78, 56, 60, 50, 58);
            tooth.cubicTo(44, 60, 42, 78, 36, 74);
            tooth.cubicTo(34, 58, 26, 48, 30, 32);
            p.drawPath(tooth);
        });
    if (name == QLatin1String("login_account"))
        return Canvas(20, 20, [&](QPainter& p) {
            pen(p, kText);
            p.drawEllipse(QRectF(6.5, 3, 7, 7));
            p.drawArc(QRectF(3, 11, 14, 12), 0, 180 * 16);
        });
    if (name == QLatin1String("login_psd"))
        return Canvas(20, 20, [&](QPainter& p) {
            pen(p, kText);
            p.drawRoundedRect(QRectF(4, 9, 12, 9), 1.5, 1.5);
            p.drawArc(QRectF(6.5, 3, 7, 10), 0, 180 * 16);
        });
    if (name == QLatin1String("login_psdClose"))
        return Canvas(12, 12, [&](QPainter& p) {
            pen(p, kPlaceholder, 1.1);
            p.drawArc(QRectF(1, -2, 10, 10), 200 * 16, 140 * 16);
            for (int i = 0; i < 3; ++i)
                p.drawLine(QPointF(3 + 3 * i, 7.5), QPointF(2.5 + 3.5 * i, 10));
        });
    if (name == QLatin1String("down12x12"))
        return Canvas(12, 12, [&](QPainter& p) {
            pen(p, kText, 1.3);
            p.drawPolyline(QPolygonF({QPointF(2, 4), QPointF(6, 8), QPointF(10, 4)}));
        });
    if (name == QLatin1String("login_gray"))
        return Canvas(70, 30, [](QPainter& p) { p.fillRect(QRect(0, 0, 70, 30), QColor(0xDD, 0xDD, 0xDD)); });
    if (name == QLatin1String("login_delete") || name == QLatin1String("login_delete_white"))
        return Canvas(12, 12, [&](QPainter& p) {
            pen(p, name == QLatin1String("login_delete") ? kText : QColor(Qt::white), 1.3);
            p.drawLine(QPointF(2.5, 2.5), QPointF(9.5, 9.5));
            p.drawLine(QPointF(9.5, 2.5), QPointF(2.5, 9.5));
        });
    if (name == QLatin1String("login_rember_Nor") || name == QLatin1String("login_rember_Sel"))
        return Canvas(12, 12, [&](QPainter& p) {
            const bool on = name == QLatin1String("login_rember_Sel");
            p.setPen(QPen(on ? kBlue : kPlaceholder, 1));
            p.setBrush(on ? kBlue : QColor(Qt::white));
            p.drawRoundedRect(QRectF(0.5, 0.5, 11, 11), 2, 2);
            if (on) {
                pen(p, Qt::white, 1.4);
                p.drawPolyline(QPolygonF({QPointF(3, 6), QPointF(5.2, 8.2), QPointF(9, 3.8)}));
            }
        });
    return {};
}

QVLoginImageView::QVLoginImageView(QWidget* parent) : QLabel(parent)
{
    setScaledContents(true);
}

void QVLoginImageView::mousePressEvent(QMouseEvent* event)
{
    m_grab = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void QVLoginImageView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        window()->move(event->globalPosition().toPoint() - m_grab);
}

QVLoginAccountView::QVLoginAccountView(QWidget* parent) : QWidget(parent)
{
    accountImg = MakeImage(this, QStringLiteral("login_account"));
    accountField = MakeField(this, QStringLiteral("账号"));
    moreBtn = MakeImageButton(this, QStringLiteral("down12x12"), QSize(12, 12));
    moreBtn->setCheckable(true);
    lineAccount = MakeLine(this);
    psdImg = MakeImage(this, QStringLiteral("login_psd"));
    psdSecureField = MakeField(this, QStringLiteral("密码"));
    psdSecureField->setEchoMode(QLineEdit::Password);
    eyesImg = MakeImage(this, QStringLiteral("login_psdClose"));
    linePsd = MakeLine(this);
    codeView = new QWidget(this);
    codeField = MakeField(codeView, QStringLiteral("验证码"));
    codeImg = MakeImageButton(codeView, QStringLiteral("login_gray"), QSize(70, 30));
    lineCode = MakeLine(codeView);
    m_needCode = true;
    connect(moreBtn, &QToolButton::clicked, this, [this] { moreEvent(); });
    connect(codeImg, &QToolButton::clicked, this, [this] { changeEvent(); });
    for (QLineEdit* field : {accountField, psdSecureField, codeField})
        connect(field, &QLineEdit::textEdited, this, [this] { controlTextDidChange(); });
    relayout();
}

void QVLoginAccountView::setNeedCode(bool needCode)
{
    m_needCode = needCode;
    if (needCode)
        codeField->clear();
    relayout();
    if (heightChanged)
        heightChanged();
}

void QVLoginAccountView::moreEvent()
{
    if (delegate)
        delegate->selectedAccount(moreBtn->isChecked());
}

void QVLoginAccountView::changeEvent()
{
    if (delegate)
        delegate->changeCodeImg();
}

void QVLoginAccountView::controlTextDidChange()
{
    if (!textChangeBlock)
        return;
    const bool complete = !accountField->text().isEmpty() && !psdSecureField->text().isEmpty() &&
                          (!m_needCode || !codeField->text().isEmpty());
    textChangeBlock(complete);
}

void QVLoginAccountView::resizeEvent(QResizeEvent*)
{
    relayout();
}

void QVLoginAccountView::relayout()
{
    const int w = width();
    accountImg->setGeometry(10, 10, 20, 20);
    accountField->setGeometry(40, 10, w - 32 - 40, 20);
    moreBtn->setGeometry(w - 22, 14, 12, 12);
    lineAccount->setGeometry(0, 39, w, 1);
    psdImg->setGeometry(10, 50, 20, 20);
    psdSecureField->setGeometry(40, 50, w - 32 - 40, 20);
    eyesImg->setGeometry(w - 22, 54, 12, 12);
    linePsd->setGeometry(0, 79, w, 1);
    const int codeHeight = m_needCode ? 40 : 0;
    codeView->setGeometry(0, 80, w, codeHeight);
    codeView->setVisible(m_needCode);
    codeField->setGeometry(10, 10, w - 80 - 10, 20);
    codeImg->setGeometry(w - 70, 5, 70, 30);
    lineCode->setGeometry(0, 39, w, 1);
    setFixedHeight(80 + codeHeight);
}

QVLoginHospitalView::QVLoginHospitalView(QWidget* parent) : QWidget(parent)
{
    hospitalField = MakeField(this, QStringLiteral("请选择院区"));
    hospitalField->setReadOnly(true);
    moreHospital = MakeImageButton(this, QStringLiteral("down12x12"), QSize(12, 12));
    moreHospital->setCheckable(true);
    SetTag(moreHospital, 1000);
    lineHospital = MakeLine(this);
    officeField = MakeField(this, QStringLiteral("请选择科室"));
    officeField->setReadOnly(true);
    moreOffice = MakeImageButton(this, QStringLiteral("down12x12"), QSize(12, 12));
    moreOffice->setCheckable(true);
    SetTag(moreOffice, 2000);
    lineOffice = MakeLine(this);
    for (QToolButton* button : {moreHospital, moreOffice})
        connect(button, &QToolButton::clicked, this, [this, button] { moreEvent(button); });
    setFixedHeight(80);
}

void QVLoginHospitalView::moreEvent(QToolButton* sender)
{
    if (!delegate || !sender)
        return;
    if (QVLoginTag(sender) == 1000)
        delegate->selectedHospital(sender->isChecked());
    else if (QVLoginTag(sender) == 2000)
        delegate->selectedOffice(sender->isChecked());
}

void QVLoginHospitalView::resizeEvent(QResizeEvent*)
{
    const int w = width();
    hospitalField->setGeometry(10, 10, w - 32 - 10, 20);
    moreHospital->setGeometry(w - 22, 14, 12, 12);
    lineHospital->setGeometry(0, 39, w, 1);
    officeField->setGeometry(10, 50, w - 32 - 10, 20);
    moreOffice->setGeometry(w - 22, 54, 12, 12);
    lineOffice->setGeometry(0, 79, w, 1);
}

NSLoginBtnView::NSLoginBtnView(QWidget* parent) : QWidget(parent)
{
    accountBtn = new QPushButton(this);
    accountBtn->setFlat(true);
    accountBtn->setFont(SystemFont(12));
    deleteBtn = MakeImageButton(this, QStringLiteral("login_delete_white"), QSize(12, 12));
    line = new QWidget(this);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(QStringLiteral("background-color: white;"));
    setFixedHeight(40);
}

void NSLoginBtnView::setIsSelected(bool selected)
{
    m_selected = selected;
    deleteBtn->setIcon(QVLoginImage(selected ? QStringLiteral("login_delete") : QStringLiteral("login_delete_white")));
    retitle();
    update();
}

void NSLoginBtnView::retitle()
{
    const QColor colour = m_selected ? kBlue : QColor(Qt::white);
    accountBtn->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;text-align:left;color:%1;}")
                                  .arg(colour.name()));
    const QFontMetrics metrics(accountBtn->font());
    accountBtn->setText(metrics.elidedText(accountStr, Qt::ElideRight, qMax(0, accountBtn->width() - 4)));
    accountBtn->setToolTip(accountStr);
}

void NSLoginBtnView::resizeEvent(QResizeEvent*)
{
    accountBtn->setGeometry(20, 0, qMax(0, width() - 20 - 36), 40);
    deleteBtn->setGeometry(width() - 22, 14, 12, 12);
    line->setGeometry(0, 39, width(), 1);
    retitle();
}

void NSLoginBtnView::paintEvent(QPaintEvent*)
{
    if (m_selected)
        QPainter(this).fillRect(rect(), Qt::white);
}

QVLoginMoreView::QVLoginMoreView(QWidget* parent) : QWidget(parent) {}

void QVLoginMoreView::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), QColor(0x33, 0x33, 0x33, 0x90));
}

void QVLoginMoreView::resizeEvent(QResizeEvent*)
{
    for (std::size_t i = 0; i < allBtn.size(); ++i)
        allBtn[i]->setGeometry(0, int(40 * i), width(), 40);
}

void QVLoginMoreView::setUserList(const std::vector<std::shared_ptr<QVUserSelectInfoItem>>& list)
{
    std::vector<Row> rows;
    for (const auto& item : list)
        rows.push_back({item ? item->account : QString(), item && item->isSelected});
    build(rows, true);
}

void QVLoginMoreView::setHospitalList(const std::vector<std::shared_ptr<QVHospitalItem>>& list)
{
    std::vector<Row> rows;
    for (const auto& item : list)
        rows.push_back({item ? item->hospitalName : QString(), item && item->isSelected});
    build(rows, false);
}

void QVLoginMoreView::setOfficeList(const std::vector<std::shared_ptr<QVOfficeItem>>& list)
{
    std::vector<Row> rows;
    for (const auto& item : list)
        rows.push_back({item ? item->officeName : QString(), item && item->isSelected});
    build(rows, false);
}

void QVLoginMoreView::build(const std::vector<Row>& rows, bool deletable)
{
    for (NSLoginBtnView* row : allBtn)
        delete row;
    allBtn.clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* row = new NSLoginBtnView(this);
        row->setGeometry(0, int(40 * i), width(), 40);
        SetTag(row->accountBtn, 1000 + qint64(i));
        QPushButton* button = row->accountBtn;
        connect(button, &QPushButton::clicked, this, [this, button] { clickEvent(button); });
        if (deletable) {
            SetTag(row->deleteBtn, 2000 + qint64(i));
            QToolButton* remove = row->deleteBtn;
            connect(remove, &QToolButton::clicked, this, [this, remove] { deleteEvent(remove); });
        } else {
            row->deleteBtn->hide();
        }
        row->accountStr = rows[i].text;
        row->setIsSelected(rows[i].selected);
        row->setHiddenLine(i + 1 == rows.size());
        row->show();
        allBtn.push_back(row);
    }
}

void QVLoginMoreView::clickEvent(QPushButton* sender)
{
    const qint64 tag = QVLoginTag(sender);
    for (NSLoginBtnView* row : allBtn)
        row->setIsSelected(QVLoginTag(row->accountBtn) == tag);
    if (delegate)
        delegate->selectedMsg(tag);
}

void QVLoginMoreView::deleteEvent(QToolButton* sender)
{
    for (std::size_t i = 0; i < allBtn.size(); ++i) {
        if (allBtn[i]->deleteBtn != sender)
            continue;
        NSLoginBtnView* row = allBtn[i];
        allBtn.erase(allBtn.begin() + qint64(i));
        row->hide();
        row->deleteLater();
        if (delegate)
            delegate->deleteMsg(qint64(i));
        return;
    }
}
