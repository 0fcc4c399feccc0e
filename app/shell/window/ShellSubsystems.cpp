// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/window/ShellSubsystems.h"

#include "app/platform/CookieStorage.h"
#include "app/platform/Dispatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWidget>

namespace {

// An empty content area until the subsystem has registered.
template <class Base>
class Placeholder : public Base {
public:
    ~Placeholder() override { delete m_view.data(); }
    QWidget* view() override
    {
        if (!m_view)
            m_view = new QWidget;
        return m_view;
    }

private:
    QPointer<QWidget> m_view;
};

class PlaceholderCaseList : public Placeholder<RVCaseListViewController> {
public:
    void setWebUrl(const QUrl&) override {}
};

template <class T>
T& Slot()
{
    static T value;
    return value;
}

RVLoginSubsystem WithDefaults(RVLoginSubsystem login)
{
    if (!login.clearHTTPCookie)
        login.clearHTTPCookie = [] { platform::CookieStorage::Shared().DeleteAll(); };
    if (!login.clearData)
        login.clearData = login.clearHTTPCookie;
    if (!login.username)
        login.username = [] { return std::optional<QString>(); };
    if (!login.password)
        login.password = [] { return QString(); };
    if (!login.udcHost)
        login.udcHost = [] { return QString(); };
    if (!login.roles)
        login.roles = [] { return QStringList(); };
    if (!login.APIType)
        login.APIType = [] { return 1; };
    if (!login.urlPrefix)
        login.urlPrefix = [api = login.APIType] {
            return api() == 4 ? QStringLiteral("http://") : QStringLiteral("https://");
        };
    if (!login.domainModelFromJson)
        login.domainModelFromJson = &ShellSubsystems::DomainListFromJson;
    if (!login.loginToUrl)
        login.loginToUrl = [](const QString&, const QString&, std::function<void()> complete) {
            platform::AsyncOnGui(std::move(complete));
        };
    return login;
}

RVCaseListSubsystem WithDefaults(RVCaseListSubsystem caseList)
{
    if (!caseList.create)
        caseList.create = [] { return std::make_unique<PlaceholderCaseList>(); };
    if (!caseList.clearWebImageCache)
        caseList.clearWebImageCache = [] {};
    if (!caseList.updateFileDirectory)
        caseList.updateFileDirectory = [] {};
    return caseList;
}

RVDesignSubsystem WithDefaults(RVDesignSubsystem design)
{
    if (!design.create)
        design.create = [] { return std::make_unique<Placeholder<RVDMViewController>>(); };
    if (!design.clearDocument)
        design.clearDocument = [] {};
    return design;
}

RVImageSubsystem WithDefaults(RVImageSubsystem image)
{
    if (!image.create)
        image.create = [] { return std::make_unique<Placeholder<RVScreenageDataViewController>>(); };
    return image;
}

template <class T>
const T& Filled()
{
    static bool made = false;
    if (!made) {
        Slot<T>() = WithDefaults(Slot<T>());
        made = true;
    }
    return Slot<T>();
}

} // namespace

void ShellSubsystems::RegisterLogin(RVLoginSubsystem login)
{
    Slot<RVLoginSubsystem>() = WithDefaults(std::move(login));
}

void ShellSubsystems::RegisterCaseList(RVCaseListSubsystem caseList)
{
    Slot<RVCaseListSubsystem>() = WithDefaults(std::move(caseList));
}

void ShellSubsystems::RegisterDesign(RVDesignSubsystem design)
{
    Slot<RVDesignSubsystem>() = WithDefaults(std::move(design));
}

void ShellSubsystems::RegisterImage(RVImageSubsystem image)
{
    Slot<RVImageSubsystem>() = WithDefaults(std::move(image));
}

void ShellSubsystems::Reset()
{
    RegisterLogin({});
    RegisterCaseList({});
    RegisterDesign({});
    RegisterImage({});
}

const RVLoginSubsystem& ShellSubsystems::Login()
{
    return Filled<RVLoginSubsystem>();
}

const RVCaseListSubsystem& ShellSubsystems::CaseList()
{
    return Filled<RVCaseListSubsystem>();
}

const RVDesignSubsystem& ShellSubsystems::Design()
{
    return Filled<RVDesignSubsystem>();
}

const RVImageSubsystem& ShellSubsystems::Image()
{
    return Filled<RVImageSubsystem>();
}

std::optional<QList<RVDomainEntry>> ShellSubsystems::DomainListFromJson(const QString& json)
{
    if (json.trimmed().isEmpty())
        return QList<RVDomainEntry>();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue list = object.contains(QStringLiteral("currList")) ? object.value(QStringLiteral("currList"))
                                                                        : object.value(QStringLiteral("list"));
    if (!list.isArray() && !list.isUndefined() && !list.isNull())
        return std::nullopt;
    QList<RVDomainEntry> items;
    for (const QJsonValue& value : list.toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject entry = value.toObject();
        items.append({entry.value(QStringLiteral("serviceName")).toString(), entry.value(QStringLiteral("url")).toString(),
                      entry.value(QStringLiteral("ssoUrl")).toString()});
    }
    return items;
}
