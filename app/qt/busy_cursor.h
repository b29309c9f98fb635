// The hourglass cursor for the length of a scope, restored on every way out of it.
#pragma once

#include <QApplication>
#include <QCursor>

namespace korvel {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace korvel
