#pragma once

#include <QObject>
#include <QString>
#include <gtest/gtest.h>

namespace kestrion::test {

// The one child of parent with this objectName, found the way a user's tools see the
// window: by the name the widget carries, not by a getter kept only for tests. A
// missing or ambiguous name fails the test that asked and returns nullptr.
template <typename T>
T* child(const QObject* parent, const char* name) {
    const QList<T*> found = parent->findChildren<T*>(QString::fromLatin1(name));
    if (found.size() != 1) {
        ADD_FAILURE() << "expected one " << T::staticMetaObject.className() << " named '" << name << "', found "
                      << found.size();
        return nullptr;
    }
    return found.front();
}

} // namespace kestrion::test
