// ModelTesters: the list models a view owns, checked by Qt's model tester as they change.
#pragma once

#include <QAbstractItemModelTester>
#include <QAbstractListModel>
#include <QObject>

namespace veldo::testsupport {

// Attaches a QAbstractItemModelTester to every list model among `view`'s descendants. A fault it
// finds (a wrong index, a row count that disagrees with the signals, a broken data role) ends
// the test run there and then. Each tester lives as long as its model.
inline void testModelsOf(QObject* view)
{
    for (QAbstractListModel* model : view->findChildren<QAbstractListModel*>())
        new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal,
                                     model);
}

} // namespace veldo::testsupport
