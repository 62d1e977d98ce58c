// The program's application object: Qt's, with every event it hands to a window guarded. An exception
// that gets out of a user's action (thrown by a library, or std::bad_alloc when an allocation fails)
// would otherwise end the program with whatever the user had open; here it ends only the action.
#pragma once

#include <QApplication>

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int &argc, char **argv);

    // Hands the event on as Qt does. An exception thrown while it is handled is caught here: the
    // progress window is hidden, the user is told in Chinese that the action could not be completed
    // ("内存不足，操作未能完成！" when memory ran out), and an entry is written to RunErr.txt; the event
    // then counts as not handled (false). A write under way is not committed: a transaction of the
    // database layer is rolled back when an exception passes through it, its connection being closed
    // unfinished. Qt's GUI and widget libraries are built without exceptions: one that passes through
    // them skips their clean-up (a few small allocations are lost), which the end of the action is
    // still worth.
    bool notify(QObject *receiver, QEvent *event) override;
};
