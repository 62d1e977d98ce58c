// Letting events through.
#include "events.h"

#include <QCoreApplication>

void DoEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}
