// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVLoginController.h"

#include "app/login/QVAPIManager.h"
#include "app/login/QVLoginService.h"
#include "app/login/QVUserInfoManager.h"
#include "app/login/QVUserSelectInfoModel.h"
#include "app/platform/Alerts.h"
#include "app/platform/Dispatch.h"
#include "app/platform/UserDefaults.h"
#include "app/service/QVNetworkAgent.h"

#include <QCloseEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimer>

namespace {

constexpr int kMargin = 10; // room for the window's shadow

QFont SystemFont(int size)
{
    QFont font;
    font.setPixelSize(size);
    return font;
}

void WriteStored(const QVUserSelectInfoModel& model)
{
    auto& defaults = platform::UserDefaults::Standard();
    defaults.SetValue(platform::defaults::kAllLoginAccountList, model.toText());
    if (!defaults.Sync())
        qWarning().noquote() << "the remembered accounts could not be written";
}

} // namespace

QVLoginController::QVLoginController(QWidget* parent)
    : QWidget(parent), m_userListModel(std::make_shared<QVUserSelectInfoModel>()),
      m_loginService(std::make_unique<QVLoginService>())
{
    setFixedSize(kWidth, kHeight);
    bgImage = new QVLoginImageView(this);
    bgImage->setPixmap(QVLoginImage(QStringLiteral("login_bg")));
    waveImage = new QVLoginImageView(this);
    waveImage->setPixmap(QVLoginImage(QStringLiteral("login_wave")));
    logoImage = new QLabel(this);
    logoImage->setPixmap(QVLoginImage(QStringLiteral("login_logo")));
    logoImage->setScaledContents(true);
    accountV = new QVLoginAccountView(this);
    accountV->delegate = this;
    accountV->setNeedCode(false);
    hospitalV = new QVLoginHospitalView(this);
    hospitalV->delegate = this;
    hospitalV->hide();

    remberBtn = new QToolButton(this);
    QIcon box;
    box.addPixmap(QVLoginImage(QStringLiteral("login_rember_Nor")), QIcon::Normal, QIcon::Off);
    box.addPixmap(QVLoginImage(QStringLiteral("login_rember_Sel")), QIcon::Normal, QIcon::On);
    remberBtn->setIcon(box);
    remberBtn->setIconSize(QSize(12, 12));
    remberBtn->setText(QStringLiteral("记住密码"));
    remberBtn->setFont(SystemFont(12));
    remberBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    remberBtn->setCheckable(true);
    remberBtn->setStyleSheet(QStringLiteral("QToolButton{border:none;background:transparent;color:#333333;padding:0;}"));
    connect(remberBtn, &QToolButton::clicked, this, [this] { remberEvent(); });

    sureBtn = new QPushButton(QStringLiteral("登录"), this);
    sureBtn->setFont(SystemFont(14));
    sureBtn->setStyleSheet(QStringLiteral("QPushButton{border:none;border-radius:20px;background:#1890FF;color:#FFFFFF;}"
                                          "QPushButton:disabled{background:#8CC8FF;}"));
    sureBtn->setEnabled(false);
    connect(sureBtn, &QPushButton::clicked, this, [this] { sureEvent(); });

    cancelBtn = new QPushButton(QStringLiteral("取消"), this);
    cancelBtn->setFont(SystemFont(14));
    cancelBtn->setStyleSheet(QStringLiteral("QPushButton{border:1px solid #999999;border-radius:20px;"
                                            "background:transparent;color:#999999;}"));
    cancelBtn->hide();
    connect(cancelBtn, &QPushButton::clicked, this, [this] { cancelEvent(); });

    scrollView = new QScrollArea(this);
    scrollView->setFrameShape(QFrame::NoFrame);
    scrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView->setStyleSheet(QStringLiteral("QScrollArea{background:transparent;}"));
    scrollView->viewport()->setAutoFillBackground(false);
    moreV = new QVLoginMoreView;
    moreV->delegate = this;
    scrollView->setWidget(moreV);
    scrollView->setWidgetResizable(false);
    scrollView->hide();

    accountV->textChangeBlock = [this](bool enabled) { sureBtn->setEnabled(enabled); };
    accountV->heightChanged = [this] { relayout(); };
    m_type = 0;
    relayout();
    loadDefaultData();
}

QVLoginController::~QVLoginController() = default;

void QVLoginController::relayout()
{
    bgImage->setGeometry(0, 0, kWidth, 180);
    waveImage->setGeometry(0, 120, kWidth, 60);
    logoImage->setGeometry((kWidth - 100) / 2, 60, 100, 100);
    accountV->setGeometry(50, 190, kWidth - 100, accountV->height());
    hospitalV->setGeometry(50, 190, kWidth - 100, 80);
    const int remberTop = accountV->geometry().bottom() + 1 + 20;
    remberBtn->setGeometry(50, remberTop, 70, 17);
    const int sureTop = remberTop + 17 + (atHospitalStage() ? 3 : 40);
    sureBtn->setGeometry(50, sureTop, 200, 40);
    cancelBtn->setGeometry(50, sureTop + 60, 200, 40);
}

void QVLoginController::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), Qt::white);
}

void QVLoginController::mousePressEvent(QMouseEvent* event)
{
    m_grab = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void QVLoginController::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        window()->move(event->globalPosition().toPoint() - m_grab);
}

void QVLoginController::loadDefaultData()
{
    const auto stored = QVUserSelectInfoModel::Stored();
    if (stored && !stored->list.empty()) {
        m_userListModel->list = stored->list;
        sizeList(m_userListModel->list.size());
        moreV->setUserList(m_userListModel->list);
    }
    for (const auto& item : m_userListModel->list) {
        if (!item || !item->isSelected)
            continue;
        m_userModel = item;
        accountV->accountField->setText(item->account);
        accountV->psdSecureField->setText(item->psdStr);
        if (!item->account.isEmpty() && !item->psdStr.isEmpty())
            sureBtn->setEnabled(true);
        QTimer::singleShot(100, this, [this] {
            if (QWidget* focus = focusWidget())
                focus->clearFocus();
        });
        break;
    }
    remberBtn->setChecked(QVLoginSwitches::shouldSaveLocalPassword());
}

void QVLoginController::remberEvent()
{
    QVLoginSwitches::setShouldSaveLocalPassword(remberBtn->isChecked());
}

void QVLoginController::sureEvent()
{
    if (requestIng())
        return;
    if (atHospitalStage())
        loginAfterSelectHospitalRequest();
    else
        loginInRequest();
}

void QVLoginController::loginInRequest()
{
    hideList();
    auto& user = QVUserInfoManager::sharedInstance();
    user.setUsername(accountV->accountField->text());
    user.setPassword(accountV->psdSecureField->text());
    ++m_busy;
    QPointer<QVLoginController> self(this);
    m_loginService->startLoginWithCaptchId(m_captchId, accountV->codeField->text(), remberBtn->isChecked(), true,
                                           [self](const std::shared_ptr<QVLoginResult>& result) {
                                               platform::RunOnGui([self, result] {
                                                   if (self)
                                                       self->handleFirstStage(result);
                                               });
                                           });
}

void QVLoginController::handleFirstStage(const std::shared_ptr<QVLoginResult>& result)
{
    if (result && result->resultType == 2) {
        m_accountId = result->accountID;
        if (QVLoginSwitches::shouldAutoLoginIn()) {
            const auto& model = m_userModel ? m_userModel : std::make_shared<QVUserSelectInfoItem>();
            m_selectHospital = model->loginHospital;
            m_selectOffice = model->loginOffice;
            loginAfterSelectHospitalRequest();
        } else {
            showHospitalStage();
            configHospitalArray(result->hospitalArray, result->accountID);
        }
    } else if (result && result->resultType == 1) {
        m_accountId = result->accountID;
        saveUserList();
        stopRun();
    } else if (result) {
        if (result->isNeedCode()) {
            accountV->setNeedCode(true);
            sureBtn->setEnabled(false);
        }
        showAlterView(result->error_message);
    }
    --m_busy;
}

void QVLoginController::showHospitalStage()
{
    hideList();
    accountV->setNeedCode(false);
    accountV->hide();
    remberBtn->hide();
    hospitalV->show();
    sureBtn->setText(QStringLiteral("确定"));
    sureBtn->setEnabled(false);
    cancelBtn->show();
    relayout();
}

void QVLoginController::configHospitalArray(const std::vector<std::shared_ptr<QVHospitalItem>>& hospitals,
                                            const QString& accountID)
{
    for (const auto& item : m_userListModel->list) {
        if (item && item->accountID == accountID) {
            m_userModel = item;
            break;
        }
    }
    m_hospitalArray.clear();
    m_officeArray.clear();
    const auto remembered = m_userModel ? m_userModel->loginHospital : nullptr;
    const auto rememberedOffice = m_userModel ? m_userModel->loginOffice : nullptr;
    std::shared_ptr<QVHospitalItem> matched;
    for (const auto& hospital : hospitals) {
        if (!hospital)
            continue;
        m_hospitalArray.push_back(hospital);
        hospital->isSelected = false;
        if (remembered && !remembered->hospitalId.isEmpty() && hospital->hospitalId == remembered->hospitalId)
            matched = hospital;
    }
    if (matched) {
        matched->isSelected = true;
        m_selectHospital = matched;
        hospitalV->hospitalField->setText(remembered->hospitalName);
        for (const auto& office : matched->offices) {
            if (!office)
                continue;
            m_officeArray.push_back(office);
            office->isSelected = rememberedOffice && !rememberedOffice->officeId.isEmpty() &&
                                 office->officeId == rememberedOffice->officeId;
            if (office->isSelected) {
                m_selectOffice = office;
                hospitalV->officeField->setText(rememberedOffice->officeName);
            }
        }
    }
    updateSureForHospital();
}

void QVLoginController::updateSureForHospital()
{
    sureBtn->setEnabled(!hospitalV->hospitalField->text().isEmpty() && !hospitalV->officeField->text().isEmpty());
}

std::shared_ptr<QVHospitalItem> QVLoginController::selectHospital()
{
    return m_selectHospital ? m_selectHospital : std::make_shared<QVHospitalItem>();
}

std::shared_ptr<QVOfficeItem> QVLoginController::selectOffice()
{
    return m_selectOffice ? m_selectOffice : std::make_shared<QVOfficeItem>();
}

void QVLoginController::loginAfterSelectHospitalRequest()
{
    hideList();
    ++m_busy;
    QPointer<QVLoginController> self(this);
    m_loginService->loginAfterSelectedHospital(
        selectHospital(), selectOffice(), [self](const std::shared_ptr<QVLoginResult>& result) {
            platform::RunOnGui([self, result] {
                if (!self)
                    return;
                if (result && result->resultType == 1) {
                    self->m_accountId = result->accountID;
                    self->saveUserList();
                    self->stopRun();
                } else if (result && result->resultType == 0) {
                    self->showAlterView(result->error_message);
                }
                --self->m_busy;
            });
        });
}

void QVLoginController::saveUserList()
{
    const QString password = accountV->psdSecureField->text();
    if (!QVLoginSwitches::shouldSaveLocalPassword()) {
        // The box is off: nothing new is remembered, and a password kept earlier goes.
        const auto stored = QVUserSelectInfoModel::Stored();
        bool changed = false;
        for (const auto& item : stored->list) {
            if (item && item->accountID == m_accountId && !item->psdStr.isEmpty()) {
                item->psdStr.clear();
                changed = true;
            }
        }
        if (changed)
            WriteStored(*stored);
        return;
    }
    (void)m_userListModel->saveSignIn(m_accountId, accountV->accountField->text(), password,
                                      QVUserInfoManager::sharedInstance().udcHost(), selectHospital(), selectOffice());
}

void QVLoginController::stopRun()
{
    platform::StopModal(platform::kModalResponseContinue);
}

void QVLoginController::hideList()
{
    scrollView->hide();
    accountV->moreBtn->setChecked(false);
    accountV->psdSecureField->setReadOnly(false);
    hospitalV->moreHospital->setChecked(false);
    hospitalV->moreOffice->setChecked(false);
}

void QVLoginController::sizeList(std::size_t rows)
{
    const int top = 190 + (m_type == 2 ? 80 : 40);
    scrollView->setGeometry(50, top, kWidth - 100, int(40 * std::min<std::size_t>(rows, 6)));
    moreV->resize(kWidth - 100 - (rows > 6 ? scrollView->verticalScrollBar()->sizeHint().width() : 0),
                  int(40 * rows));
}

void QVLoginController::openList(quint64 type, bool open)
{
    if (open) {
        // Rebuilt at every opening, so that a row's position always indexes the list shown.
        m_type = type;
        std::size_t rows = 0;
        if (type == 0)
            rows = m_userListModel->list.size();
        else if (type == 1)
            rows = m_hospitalArray.size();
        else
            rows = m_officeArray.size();
        sizeList(rows);
        if (type == 0)
            moreV->setUserList(m_userListModel->list);
        else if (type == 1)
            moreV->setHospitalList(m_hospitalArray);
        else
            moreV->setOfficeList(m_officeArray);
        scrollView->raise();
        scrollView->show();
    } else {
        scrollView->hide();
    }
}

void QVLoginController::selectedAccount(bool open)
{
    if (requestIng() || m_userListModel->list.empty())
        return;
    if (open) {
        if (!accountV->isHidden())
            if (QWidget* focus = focusWidget())
                focus->clearFocus();
        accountV->psdSecureField->setReadOnly(true);
    } else {
        accountV->psdSecureField->setReadOnly(false);
    }
    openList(0, open);
}

void QVLoginController::selectedHospital(bool open)
{
    if (requestIng())
        return;
    if (open)
        hospitalV->moreOffice->setChecked(false);
    openList(1, open);
}

void QVLoginController::selectedOffice(bool open)
{
    if (requestIng())
        return;
    if (open)
        hospitalV->moreHospital->setChecked(false);
    openList(2, open);
}

void QVLoginController::selectedMsg(qint64 tag)
{
    if (requestIng())
        return;
    scrollView->hide();
    const qint64 index = tag - 1000;
    if (atHospitalStage()) {
        if (m_type == 1) {
            hospitalV->moreHospital->setChecked(false);
            if (index < 0 || std::size_t(index) >= m_hospitalArray.size())
                return;
            const auto hospital = m_hospitalArray[std::size_t(index)];
            if (m_selectHospital && hospital->hospitalId == m_selectHospital->hospitalId)
                return;
            for (const auto& h : m_hospitalArray)
                h->isSelected = h == hospital;
            m_selectHospital = hospital;
            m_selectOffice.reset();
            hospitalV->hospitalField->setText(hospital->hospitalName);
            hospitalV->officeField->clear();
            m_officeArray.clear();
            for (const auto& office : hospital->offices) {
                if (!office)
                    continue;
                office->isSelected = false;
                m_officeArray.push_back(office);
            }
            updateSureForHospital();
        } else if (m_type == 2) {
            hospitalV->moreOffice->setChecked(false);
            if (index < 0 || std::size_t(index) >= m_officeArray.size())
                return;
            const auto office = m_officeArray[std::size_t(index)];
            if (m_selectOffice && office->officeId == m_selectOffice->officeId)
                return;
            for (const auto& o : m_officeArray)
                o->isSelected = o == office;
            m_selectOffice = office;
            hospitalV->officeField->setText(office->officeName);
            updateSureForHospital();
        }
        return;
    }
    accountV->psdSecureField->setReadOnly(false);
    accountV->moreBtn->setChecked(false);
    if (index < 0 || std::size_t(index) >= m_userListModel->list.size())
        return;
    const auto account = m_userListModel->list[std::size_t(index)];
    if (!account || (m_userModel && account->accountID == m_userModel->accountID))
        return;
    for (const auto& item : m_userListModel->list)
        if (item)
            item->isSelected = item == account;
    m_userModel = account;
    accountV->accountField->setText(account->account);
    accountV->psdSecureField->setText(account->psdStr);
    sureBtn->setEnabled(!account->account.isEmpty() && !account->psdStr.isEmpty());
}

void QVLoginController::deleteMsg(qint64 index)
{
    if (atHospitalStage() || index < 0 || std::size_t(index) >= m_userListModel->list.size())
        return;
    const auto removed = m_userListModel->list[std::size_t(index)];
    m_userListModel->list.erase(m_userListModel->list.begin() + index);
    sizeList(m_userListModel->list.size());
    moreV->setUserList(m_userListModel->list);
    // What the doctor removes stays removed, whatever the remember box says.
    const auto stored = QVUserSelectInfoModel::Stored();
    const auto before = stored->list.size();
    if (removed)
        stored->removeAccount(removed->accountID);
    if (stored->list.size() != before)
        WriteStored(*stored);
}

void QVLoginController::cancelEvent()
{
    if (requestIng())
        return;
    hideList();
    accountV->show();
    hospitalV->hide();
    remberBtn->show();
    sureBtn->setText(QStringLiteral("登录"));
    sureBtn->setEnabled(true);
    m_selectHospital.reset();
    m_selectOffice.reset();
    hospitalV->hospitalField->clear();
    hospitalV->officeField->clear();
    cancelBtn->hide();
    relayout();
}

void QVLoginController::changeCodeImg()
{
    if (requestIng())
        return;
    ++m_busy;
    QPointer<QVLoginController> self(this);
    m_loginService->updateCodeImage([self](const QString& captchId, const QString& imageUrl) {
        if (!self)
            return;
        if (!captchId.isEmpty())
            self->m_captchId = captchId;
        else
            self->showAlterView(QStringLiteral("获取验证码失败"));
        self->loadImgRequest(imageUrl);
        --self->m_busy;
    });
}

void QVLoginController::loadImgRequest(const QString& address)
{
    const auto placeholder = [this] { accountV->codeImg->setIcon(QVLoginImage(QStringLiteral("login_gray"))); };
    if (address.isEmpty()) {
        placeholder();
        return;
    }
    ++m_busy;
    QPointer<QVLoginController> self(this);
    const auto failed = [self] {
        if (!self)
            return;
        self->accountV->codeImg->setIcon(QVLoginImage(QStringLiteral("login_gray")));
        self->showAlterView(QStringLiteral("获取验证码失败"));
    };
    QVNetworkAgent::sharedInstance().requestDataWithURLString(
        address, 0, {}, false,
        [self, failed](const QVTaskPtr&, const QByteArray& body) {
            platform::AsyncOnGui([self, failed, body] {
                if (!self)
                    return;
                QImage image;
                if (image.loadFromData(body) && !image.isNull()) {
                    self->accountV->codeField->clear();
                    self->accountV->codeImg->setIcon(QPixmap::fromImage(image));
                } else {
                    failed();
                }
                --self->m_busy;
            });
        },
        [self, failed](const QVTaskPtr&, const QVErrorOpt&) {
            platform::AsyncOnGui([self, failed] {
                if (!self)
                    return;
                failed();
                --self->m_busy;
            });
        });
}

void QVLoginController::showAlterView(const QString& text)
{
    QPointer<QVLoginController> self(this);
    platform::ShowSheet(window(), text, {QStringLiteral("确定")}, [self](int index) {
        if (self && index == 0 && self->accountV->needCode() && self->m_captchId.isEmpty())
            self->changeCodeImg();
    });
}

QVLoginWindow::QVLoginWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("登录"));
    setFixedSize(QVLoginController::kWidth + 2 * kMargin, QVLoginController::kHeight + 2 * kMargin);
    m_controller = new QVLoginController(this);
    m_controller->move(kMargin, kMargin);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(m_controller->rect()), 3, 3);
    m_controller->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
}

void QVLoginWindow::closeEvent(QCloseEvent* event)
{
    // Only a close during the run ends it; the shell closes the window again afterwards.
    if (windowModality() == Qt::ApplicationModal)
        platform::StopModal(platform::kModalResponseStop);
    event->accept();
}

void QVLoginWindow::paintEvent(QPaintEvent*)
{
    // A soft shadow around the rounded content, on the clear background.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF content(m_controller->geometry());
    for (int i = kMargin; i > 0; --i) {
        painter.setBrush(QColor(0, 0, 0, 6));
        painter.drawRoundedRect(content.adjusted(-i, -i + 2, i, i + 2), 3 + i, 3 + i);
    }
}
