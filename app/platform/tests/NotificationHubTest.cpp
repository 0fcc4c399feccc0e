// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/NotificationHub.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using platform::NotificationHub;
namespace names = platform::notifications;

TEST(NotificationHub, NamesAreTheOnesTheWindowsPost)
{
    EXPECT_EQ(names::kCreateNewScheme, "NOTIFICATION_NAME_CREATE_NEWSCHEME");
    EXPECT_EQ(names::kApproveSchemeNewSchemeQuit, "APPROVESCHEME_NEWSCHEME_QUIT");
    EXPECT_EQ(names::kWebRefreshCaseDetail, "WebRefreshCaseDetailNotificationName");
    EXPECT_EQ(names::kMonitoringNoNet, "monitoringNONet");
    EXPECT_EQ(names::kNetworkDidChange, "QVNetworkDidChanged");
}

TEST(NotificationHub, DeliversByNameInOrderAndSkipsDestroyedObservers)
{
    NotificationHub hub;
    QStringList calls;
    QObject first, third;
    auto second = std::make_unique<QObject>();
    hub.AddObserver(&first, names::kCreateNewScheme, [&](const QVariantMap& info) {
        calls << "first:" + info.value("scheme").toString();
    });
    hub.AddObserver(second.get(), names::kCreateNewScheme, [&](const QVariantMap&) { calls << "second"; });
    hub.AddObserver(&third, names::kCreateNewScheme, [&](const QVariantMap&) { calls << "third"; });
    hub.AddObserver(&third, names::kApproveSchemeNewSchemeQuit, [&](const QVariantMap&) { calls << "quit"; });

    second.reset();
    hub.Post(names::kCreateNewScheme, {{"scheme", "2"}});
    EXPECT_EQ(calls, (QStringList{"first:2", "third"}));
    EXPECT_EQ(hub.ObserverCount(names::kCreateNewScheme), 2);

    calls.clear();
    hub.Post(names::kWebRefreshCaseDetail); // nobody listens
    hub.Post(names::kApproveSchemeNewSchemeQuit);
    EXPECT_EQ(calls, (QStringList{"quit"}));
}

TEST(NotificationHub, HandlersMayDestroyOrRemoveLaterObservers)
{
    NotificationHub hub;
    QStringList calls;
    auto victim = std::make_unique<QObject>();
    QObject killer, remover, removed;
    hub.AddObserver(&killer, "n", [&](const QVariantMap&) {
        calls << "killer";
        victim.reset();
    });
    hub.AddObserver(victim.get(), "n", [&](const QVariantMap&) { calls << "victim"; });
    hub.AddObserver(&remover, "n", [&](const QVariantMap&) {
        calls << "remover";
        hub.RemoveObserver(&removed);
    });
    hub.AddObserver(&removed, "n", [&](const QVariantMap&) { calls << "removed"; });
    hub.Post("n");
    EXPECT_EQ(calls, (QStringList{"killer", "remover"}));
}

} // namespace
