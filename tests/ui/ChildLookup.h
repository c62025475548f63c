// child<T>(parent, "name"): the part of a view that a test reads, found by the object name the
// view gives it, as a T. Null when the parent is null or has no such descendant; two descendants
// of that name and type end the run, since a test could not tell which one it reads.
#pragma once

#include <QObject>
#include <QString>

namespace veldo::testsupport {

template <typename T>
T* child(const QObject* parent, const char* name)
{
    if (!parent)
        return nullptr;
    const QList<T*> found = parent->findChildren<T*>(QLatin1String(name));
    if (found.size() > 1)
        qFatal("%s holds %lld parts named %s", parent->metaObject()->className(),
               static_cast<long long>(found.size()), name);
    return found.isEmpty() ? nullptr : found.front();
}

template <typename T>
T* child(const QObject& parent, const char* name)
{
    return child<T>(&parent, name);
}

// Through a smart or guarded pointer (std::unique_ptr, QPointer…).
template <typename T, typename Pointer>
requires requires(const Pointer& p)
{
    p.operator->();
}
T* child(const Pointer& parent, const char* name)
{
    return child<T>(parent.operator->(), name);
}

} // namespace veldo::testsupport
