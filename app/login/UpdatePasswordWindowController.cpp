// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/UpdatePasswordWindowController.h"

#include "app/login/LoginRequests.h"
#include "app/login/QVUserInfoManager.h"
#include "app/platform/Alerts.h"
#include "app/shell/IniFile.h"
#include "app/shell/QvUtilityObj.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>

#include <optional>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 460;

// The frames' and buttons' hairline.
const char* const kLineGrey = "rgba(128,128,128,160)";

std::function<void()>& Relaunch()
{
    static std::function<void()> relaunch;
    return relaunch;
}

void RelaunchThisProgram()
{
    QProcess::startDetached(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
    QCoreApplication::quit();
}

QLabel* Caption(QWidget* parent, const QString& text, const QRect& place)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    return label;
}

QLineEdit* SecureField(QWidget* parent, const QRect& place)
{
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setGeometry(place);
    return field;
}

// The integer of a JSON value, given as a number or a text.
std::optional<qint64> Integer(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double x = value.toDouble();
        if (x == double(qint64(x)))
            return qint64(x);
        return std::nullopt;
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
    }
    return std::nullopt;
}

} // namespace

UpdatePasswordWindowController::UpdatePasswordWindowController(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("账号与密码"));
    setFixedSize(kWidth, kHeight);

    headerLabel = Caption(this, QStringLiteral("账号与密码"), QRect(0, 0, kWidth, 40));
    headerLabel->setAlignment(Qt::AlignCenter);

    basicInfoView = new QFrame(this);
    basicInfoView->setGeometry(20, 60, kWidth - 40, 110);
    basicInfoLabel = Caption(this, QStringLiteral(" 基本信息 "), QRect(32, 51, 64, 18));
    accountLabel = Caption(this, QString(), QRect(40, 78, kWidth - 80, 22));
    hospitalLabel = Caption(this, QString(), QRect(40, 106, kWidth - 80, 22));
    departmentLabel = Caption(this, QString(), QRect(40, 134, kWidth - 80, 22));

    updatePasswordView = new QFrame(this);
    updatePasswordView->setGeometry(20, 195, kWidth - 40, 190);
    updatePasswordLabel = Caption(this, QStringLiteral(" 修改密码 "), QRect(32, 186, 64, 18));
    oldPasswordLabel = Caption(this, QStringLiteral("原密码："), QRect(40, 215, 80, 26));
    freshPasswordLabel = Caption(this, QStringLiteral("新密码："), QRect(40, 255, 80, 26));
    confirmPasswordLabel = Caption(this, QStringLiteral("确认密码："), QRect(40, 295, 80, 26));
    oldPasswordTextField = SecureField(this, QRect(125, 215, 235, 26));
    freshPasswordTextField = SecureField(this, QRect(125, 255, 235, 26));
    confirmPasswordTextField = SecureField(this, QRect(125, 295, 235, 26));
    updateButton = new QPushButton(QStringLiteral("修改"), this);
    updateButton->setGeometry(260, 340, 100, 28);
    connect(updateButton, &QPushButton::clicked, this, [this] { updateAction(); });

    cefGPUCheckbox = new QCheckBox(QStringLiteral("网页使用GPU加速（重启后生效）"), this);
    cefGPUCheckbox->setGeometry(20, 410, 250, 24);
    connect(cefGPUCheckbox, &QCheckBox::clicked, this, [this] { changeCefGPU(); });
    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setGeometry(280, 408, 100, 28);
    connect(closeButton, &QPushButton::clicked, this, [this] { closeAction(); });

    // The stacking the captions need: each sits on its frame's line.
    basicInfoLabel->raise();
    updatePasswordLabel->raise();

    initWindowAppearence();
    initCtrlData();
}

void UpdatePasswordWindowController::initWindowAppearence()
{
    setAutoFillBackground(true);
    const QString window = palette().color(QPalette::Window).name();
    headerLabel->setStyleSheet(QStringLiteral("QLabel{background:#AAAAAA;}"));
    const QString button = QStringLiteral("QPushButton{background:rgb(218,218,218);border:1px solid %1;border-radius:3px;}"
                                          "QPushButton:pressed{background:rgb(190,190,190);}")
                               .arg(QLatin1String(kLineGrey));
    updateButton->setStyleSheet(button);
    closeButton->setStyleSheet(button);
    const QString frame = QStringLiteral("QFrame{border:1px solid %1;background:transparent;}").arg(QLatin1String(kLineGrey));
    updatePasswordView->setStyleSheet(frame);
    basicInfoView->setStyleSheet(frame);
    const QString caption = QStringLiteral("QLabel{background:%1;}").arg(window);
    updatePasswordLabel->setStyleSheet(caption);
    basicInfoLabel->setStyleSheet(caption);

    std::string value;
    (void)IniFile::Instance().GetStringValue("General", "CEFGPU", &value);
    cefGPUCheckbox->setChecked(value == "1");
}

void UpdatePasswordWindowController::initCtrlData()
{
    const auto& user = QVUserInfoManager::sharedInstance();
    const QString account = user.username();
    accountLabel->setText(QStringLiteral("账号:  %1").arg(account.isEmpty() ? QStringLiteral("无") : account));
    const auto hospital = user.selectedHospital();
    const QString hospitalName = hospital ? hospital->hospitalName : QString();
    hospitalLabel->setText(QStringLiteral("院区:  %1").arg(hospitalName.isEmpty() ? QStringLiteral("无") : hospitalName));
    const auto office = user.selectedOffice();
    const QString officeName = office ? office->officeName : QString();
    departmentLabel->setText(QStringLiteral("科室:  %1").arg(officeName.isEmpty() ? QStringLiteral("无") : officeName));
}

void UpdatePasswordWindowController::updateAction()
{
    if (m_requesting)
        return; // one change at a time
    const QString oldPassword = oldPasswordTextField->text();
    const QString freshPassword = freshPasswordTextField->text();
    const QString confirmPassword = confirmPasswordTextField->text();
    if (oldPassword.isEmpty()) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("请输入原密码"));
        return;
    }
    if (freshPassword.isEmpty()) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("请输入新密码"));
        return;
    }
    if (confirmPassword.isEmpty() || confirmPassword != freshPassword) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("两次输入的密码不一致"));
        return;
    }
    changeOldPassword(oldPassword, freshPassword);
}

void UpdatePasswordWindowController::changeOldPassword(const QString& oldPassword, const QString& freshPassword)
{
    (void)sendRequestToURL(getURL(), mashallParametersWithOldPassword(oldPassword, freshPassword));
}

QString UpdatePasswordWindowController::getURL()
{
    QString url = QvUtilityObj::getURLWith(QStringLiteral("ChangePasswordUrl"));
    return url.remove(QLatin1Char(' '));
}

QVariantMap UpdatePasswordWindowController::mashallParametersWithOldPassword(const QString& oldPassword,
                                                                             const QString& freshPassword)
{
    return {{QStringLiteral("prePassword"), oldPassword}, {QStringLiteral("newPassword1"), freshPassword}};
}

bool UpdatePasswordWindowController::sendRequestToURL(const QString& url, const QVariantMap& parameters)
{
    m_requesting = true;
    QPointer<UpdatePasswordWindowController> self(this);
    loginnet::Send(url, 1, parameters, [self](const loginnet::Reply& reply) {
        if (!self)
            return;
        self->m_requesting = false;
        QJsonParseError error{};
        const QJsonDocument json = QJsonDocument::fromJson(reply.body, &error);
        const bool accepted = reply.ok && reply.status >= 200 && reply.status < 300 && error.error == QJsonParseError::NoError;
        if (!accepted) {
            QvUtilityObj::showAlertWithMessage(QStringLiteral("发送请求失败"));
            return;
        }
        (void)self->checkResult(json);
    });
    return true;
}

bool UpdatePasswordWindowController::checkResult(const QJsonDocument& reply)
{
    const QJsonObject object = reply.object();
    const auto status = reply.isObject() ? Integer(object.value(QLatin1String("status"))) : std::nullopt;
    if (status && *status == 0) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("修改密码成功"));
        close();
        return true;
    }
    const QJsonValue message = object.value(QLatin1String("errorMsg"));
    if (status && message.isString() && !message.toString().isEmpty())
        QvUtilityObj::showAlertWithMessage(message.toString());
    else
        QvUtilityObj::showAlertWithMessage(QStringLiteral("发送请求失败"));
    return false;
}

void UpdatePasswordWindowController::changeCefGPU()
{
    IniFile::Instance().SetValue("General", "CEFGPU", cefGPUCheckbox->isChecked() ? "1" : "0", "");
    platform::ShowSheet(this, QStringLiteral("配置必须重新启动应用程序才能生效。立即重启？"),
                        {QStringLiteral("确定"), QStringLiteral("取消")}, [](int index) {
                            if (index != 0)
                                return;
                            if (Relaunch())
                                Relaunch()();
                            else
                                RelaunchThisProgram();
                        });
}

void UpdatePasswordWindowController::setRelaunch(std::function<void()> relaunch)
{
    Relaunch() = std::move(relaunch);
}

void UpdatePasswordWindowController::closeAction()
{
    close();
}

void UpdatePasswordWindowController::closeEvent(QCloseEvent* event)
{
    // The typed passwords do not outlive the window.
    oldPasswordTextField->clear();
    freshPasswordTextField->clear();
    confirmPasswordTextField->clear();
    stopAction();
    event->accept();
}

void UpdatePasswordWindowController::stopAction()
{
    if (windowModality() == Qt::ApplicationModal)
        platform::StopModal(0);
}
