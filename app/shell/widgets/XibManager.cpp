// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/XibManager.h"

#include <QCoreApplication>
#include <QPointer>
#include <QVariant>

namespace {

std::map<QString, XibManager::Loader>& Loaders()
{
    static std::map<QString, XibManager::Loader> loaders;
    return loaders;
}

// Widgets must go while the application object still exists.
void DeleteAtShutdown()
{
    XibManager::shared().Reset();
}

} // namespace

XibManager& XibManager::shared()
{
    static XibManager* manager = [] {
        qAddPostRoutine(DeleteAtShutdown);
        return new XibManager;
    }();
    return *manager;
}

void XibManager::RegisterXib(const QString& name, Loader loader)
{
    Loaders()[name] = std::move(loader);
}

QObject* XibManager::objectFromClass(const QMetaObject& meta)
{
    const QString name = QString::fromLatin1(meta.className());
    auto firstOfKind = [&meta](const QList<QObject*>& objects) -> QObject* {
        for (QObject* object : objects)
            if (object && object->metaObject()->inherits(&meta))
                return object;
        return nullptr;
    };
    if (const QList<QObject*>* objects = arrayWithXib(name))
        return firstOfKind(*objects);
    const auto it = Loaders().find(name);
    if (it == Loaders().end() || !it->second)
        return nullptr;
    QList<QObject*> objects = it->second();
    objects.removeAll(nullptr);
    if (objects.isEmpty())
        return nullptr;
    // Owners that take such an object (pane hosts) leave its deletion to us.
    for (QObject* object : objects)
        object->setProperty("rivelaXibOwned", QVariant(true));
    xibArray.emplace_back(name, objects);
    return firstOfKind(xibArray.back().second);
}

const QList<QObject*>* XibManager::arrayWithXib(const QString& name) const
{
    for (const auto& [file, objects] : xibArray)
        if (file == name)
            return &objects;
    return nullptr;
}

QStringList XibManager::loadedXibs() const
{
    QStringList names;
    for (const auto& entry : xibArray)
        names << entry.first;
    return names;
}

void XibManager::Reset()
{
    auto files = std::move(xibArray);
    xibArray.clear();
    for (auto& entry : files) {
        // An object may own another of the same file: delete through guards.
        QList<QPointer<QObject>> guards;
        for (QObject* object : entry.second)
            guards << object;
        for (auto& guard : guards)
            delete guard.data();
    }
}
