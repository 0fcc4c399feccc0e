// SPDX-License-Identifier: GPL-3.0-or-later
// The interface loader: each "interface file" is a factory registered under a name
// that makes the file's top-level objects. An object asked for by class comes from
// the file named after that class, made once; the loader keeps every file's objects
// for the life of the process, so each such object exists once. GUI thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class XibManager {
public:
    using Loader = std::function<QList<QObject*>()>;

    // The process-wide loader; its objects are deleted when the application object goes.
    static XibManager& shared();

    // Registers (or replaces) the factory of the interface file of that name.
    static void RegisterXib(const QString& name, Loader loader);

    // The first object of the file named like the class that is of that class or a
    // subclass, loading the file once; null when the file cannot be made, is empty or
    // holds no such object (an empty or failed load is not remembered).
    QObject* objectFromClass(const QMetaObject& meta);
    template <class T>
    T* objectFromClass()
    {
        return static_cast<T*>(objectFromClass(T::staticMetaObject));
    }

    // The remembered objects of that file; null when it was not loaded.
    const QList<QObject*>* arrayWithXib(const QString& name) const;
    // File names in loading order.
    QStringList loadedXibs() const;

    // Deletes every remembered object and forgets the files (tests; shutdown).
    void Reset();

private:
    XibManager() = default;
    std::vector<std::pair<QString, QList<QObject*>>> xibArray;
};
