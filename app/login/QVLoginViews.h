// SPDX-License-Identifier: GPL-3.0-or-later
// The passive views of the login window: the account rows (account, password,
// captcha), the hospital and office rows, the drop-down list and its rows, and the
// header images. They own no data beyond their widgets and report every action to a
// delegate. GUI thread only.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QVHospitalItem;
class QVOfficeItem;
class QVUserSelectInfoItem;

// The images of the login window, drawn here rather than shipped as files.
QPixmap QVLoginImage(const QString& name);

class QVLoginAccountDelegate {
public:
    virtual ~QVLoginAccountDelegate() = default;
    virtual void selectedAccount(bool open) = 0;
    virtual void changeCodeImg() = 0;
};

class QVLoginMoreDelegate {
public:
    virtual ~QVLoginMoreDelegate() = default;
    virtual void selectedMsg(qint64 tag) = 0;
    virtual void deleteMsg(qint64 index) = 0;
};

class QVLoginHospitalDelegate {
public:
    virtual ~QVLoginHospitalDelegate() = default;
    virtual void selectedHospital(bool open) = 0;
    virtual void selectedOffice(bool open) = 0;
};

// A header image; dragging on it moves the window.
class QVLoginImageView : public QLabel {
public:
    explicit QVLoginImageView(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint m_grab;
};

class QVLoginAccountView : public QWidget {
public:
    explicit QVLoginAccountView(QWidget* parent = nullptr);

    QVLoginAccountDelegate* delegate = nullptr;
    // Called after every edit: whether the fields shown are complete.
    std::function<void(bool)> textChangeBlock;
    // Called when the captcha row appears or goes, so that the owner can move what lies below.
    std::function<void()> heightChanged;

    bool needCode() const { return m_needCode; }
    // YES shows the captcha row and empties its field; NO hides it and keeps the text.
    void setNeedCode(bool needCode);

    QLabel* accountImg;
    QLineEdit* accountField;
    QToolButton* moreBtn;
    QWidget* lineAccount;
    QLabel* psdImg;
    QLineEdit* psdSecureField;
    QLabel* eyesImg;
    QWidget* linePsd;
    QWidget* codeView;
    QLineEdit* codeField;
    QToolButton* codeImg;
    QWidget* lineCode;

    void moreEvent();
    void changeEvent();
    void controlTextDidChange();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    bool m_needCode = false;
};

class QVLoginHospitalView : public QWidget {
public:
    explicit QVLoginHospitalView(QWidget* parent = nullptr);

    QVLoginHospitalDelegate* delegate = nullptr;
    QLineEdit* hospitalField;
    QToolButton* moreHospital; // tag 1000
    QWidget* lineHospital;
    QLineEdit* officeField;
    QToolButton* moreOffice; // tag 2000
    QWidget* lineOffice;

    void moreEvent(QToolButton* sender);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

// One row of the drop-down list, 40 high.
class NSLoginBtnView : public QWidget {
public:
    explicit NSLoginBtnView(QWidget* parent = nullptr);

    QPushButton* accountBtn;
    QToolButton* deleteBtn;
    QWidget* line;
    QString accountStr;

    bool isSelected() const { return m_selected; }
    void setIsSelected(bool selected);
    void setHiddenLine(bool hidden) { line->setHidden(hidden); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void retitle();
    bool m_selected = false;
};

class QVLoginMoreView : public QWidget {
public:
    explicit QVLoginMoreView(QWidget* parent = nullptr);

    QVLoginMoreDelegate* delegate = nullptr;
    std::vector<NSLoginBtnView*> allBtn;

    void setUserList(const std::vector<std::shared_ptr<QVUserSelectInfoItem>>& list);
    void setHospitalList(const std::vector<std::shared_ptr<QVHospitalItem>>& list);
    void setOfficeList(const std::vector<std::shared_ptr<QVOfficeItem>>& list);

    void clickEvent(QPushButton* sender);
    void deleteEvent(QToolButton* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Row {
        QString text;
        bool selected;
    };
    void build(const std::vector<Row>& rows, bool deletable);
};

// The tag of a button (1000 + row and the like), kept as a property.
qint64 QVLoginTag(const QObject* button);
