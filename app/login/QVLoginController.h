// SPDX-License-Identifier: GPL-3.0-or-later
// The content of the login window: the two-stage sign-in (account and password,
// then hospital and office), the remembered accounts, captchas and alerts. It ends
// the modal run with -1002 once the doctor is signed in. Everything it does runs on
// the GUI thread; one controller lives for one run of the login.
#pragma once

#include "app/login/QVLoginViews.h"

#include <QPointer>
#include <QScrollArea>
#include <QToolButton>

#include <memory>
#include <vector>

class QVLoginService;
class QVLoginResult;
class QVUserSelectInfoModel;

class QVLoginController : public QWidget,
                          public QVLoginAccountDelegate,
                          public QVLoginMoreDelegate,
                          public QVLoginHospitalDelegate {
public:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 480;

    explicit QVLoginController(QWidget* parent = nullptr);
    ~QVLoginController() override;

    void sureEvent();
    void cancelEvent();
    void remberEvent();
    void loginInRequest();
    void configHospitalArray(const std::vector<std::shared_ptr<QVHospitalItem>>& hospitals, const QString& accountID);
    void loginAfterSelectHospitalRequest();
    void saveUserList();
    void stopRun();
    void loadImgRequest(const QString& address);
    void showAlterView(const QString& text);

    void selectedAccount(bool open) override;
    void changeCodeImg() override;
    void selectedMsg(qint64 tag) override;
    void deleteMsg(qint64 index) override;
    void selectedHospital(bool open) override;
    void selectedOffice(bool open) override;

    // State, for tests.
    bool requestIng() const { return m_busy > 0; }
    quint64 type() const { return m_type; }
    QString captchId() const { return m_captchId; }
    bool atHospitalStage() const { return accountV->isHidden(); }
    const std::shared_ptr<QVUserSelectInfoModel>& userListModel() const { return m_userListModel; }
    QVLoginService& loginService() { return *m_loginService; }

    QVLoginImageView* bgImage;
    QVLoginImageView* waveImage;
    QLabel* logoImage;
    QVLoginAccountView* accountV;
    QVLoginHospitalView* hospitalV;
    QToolButton* remberBtn;
    QPushButton* sureBtn;
    QPushButton* cancelBtn;
    QScrollArea* scrollView;
    QVLoginMoreView* moreV;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void loadDefaultData();
    void handleFirstStage(const std::shared_ptr<QVLoginResult>& result);
    void showHospitalStage();
    void relayout();
    void openList(quint64 type, bool open);
    void sizeList(std::size_t rows);
    void updateSureForHospital();
    void hideList();
    std::shared_ptr<QVHospitalItem> selectHospital();
    std::shared_ptr<QVOfficeItem> selectOffice();

    int m_busy = 0;
    quint64 m_type = 0;
    QString m_captchId;
    QString m_accountId;
    std::shared_ptr<QVUserSelectInfoModel> m_userListModel;
    std::shared_ptr<QVUserSelectInfoItem> m_userModel;
    std::vector<std::shared_ptr<QVHospitalItem>> m_hospitalArray;
    std::vector<std::shared_ptr<QVOfficeItem>> m_officeArray;
    std::shared_ptr<QVHospitalItem> m_selectHospital;
    std::shared_ptr<QVOfficeItem> m_selectOffice;
    std::unique_ptr<QVLoginService> m_loginService;
    QPoint m_grab;
};

// The frameless, translucent login window with rounded corners; closing it ends the
// modal run with -1000.
class QVLoginWindow : public QWidget {
public:
    explicit QVLoginWindow(QWidget* parent = nullptr);
    QVLoginController* controller() const { return m_controller; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QVLoginController* m_controller;
};
