// SPDX-License-Identifier: GPL-3.0-or-later
// The account window of the menu: the signed-in doctor's campus and office, the
// password change at the central login service and the "CEFGPU" setting of section
// "General", whose change offers a restart. Run modal; closing it ends the run with
// 0. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariantMap>
#include <QWidget>

#include <functional>

class UpdatePasswordWindowController : public QWidget {
public:
    explicit UpdatePasswordWindowController(QWidget* parent = nullptr);

    void initWindowAppearence();
    void initCtrlData();
    void updateAction();
    void changeOldPassword(const QString& oldPassword, const QString& freshPassword);
    // "ChangePasswordUrl" of section "Url" without blanks ("" when missing).
    static QString getURL();
    static QVariantMap mashallParametersWithOldPassword(const QString& oldPassword, const QString& freshPassword);
    // Starts the POST; the reply is handled later on the GUI thread.
    bool sendRequestToURL(const QString& url, const QVariantMap& parameters);
    // Alerts the outcome of a reply the service accepted; true on success. Only a JSON
    // object with an integer "status" counts as an answer; a refusal without an
    // "errorMsg" text and anything else read as a failed request.
    bool checkResult(const QJsonDocument& reply);
    void changeCefGPU();
    void closeAction();

    bool requestIng() const { return m_requesting; }

    // What "确定" on the restart question runs; tests replace it. Empty restores
    // the default: start this program anew, detached, then quit.
    static void setRelaunch(std::function<void()> relaunch);

    QLabel* headerLabel;
    QFrame* basicInfoView;
    QLabel* basicInfoLabel;
    QLabel* accountLabel;
    QLabel* hospitalLabel;
    QLabel* departmentLabel;
    QFrame* updatePasswordView;
    QLabel* updatePasswordLabel;
    QLabel* oldPasswordLabel;
    QLabel* freshPasswordLabel;
    QLabel* confirmPasswordLabel;
    QLineEdit* oldPasswordTextField;
    QLineEdit* freshPasswordTextField;
    QLineEdit* confirmPasswordTextField;
    QPushButton* updateButton;
    QPushButton* closeButton;
    QCheckBox* cefGPUCheckbox;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void stopAction();

    bool m_requesting = false;
};
