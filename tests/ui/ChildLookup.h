// child<T>(parent, "name"): the part of a view that a test reads, found by the object name the
// view gives it, as a T (titled<T> below finds one by the text it shows). Null when the parent is
// null or has no such descendant; two descendants of that name and type end the run, since a test
// could not tell which one it reads.
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

// titled<T>(parent, text): the descendant T (a check box, a button…) whose text() reads `text`,
// as the user finds it by its title; null when none does; two of them end the run.
template <typename T>
T* titled(const QObject* parent, const QString& text)
{
    T* found = nullptr;
    for (T* candidate : parent ? parent->findChildren<T*>() : QList<T*>()) {
        if (candidate->text() != text)
            continue;
        if (found)
            qFatal("%s holds two parts titled %s", parent->metaObject()->className(),
                   qPrintable(text));
        found = candidate;
    }
    return found;
}

template <typename T>
T* titled(const QObject& parent, const QString& text)
{
    return titled<T>(&parent, text);
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

template <typename T, typename Pointer>
requires requires(const Pointer& p)
{
    p.operator->();
}
T* titled(const Pointer& parent, const QString& text)
{
    return titled<T>(parent.operator->(), text);
}

} // namespace veldo::testsupport
