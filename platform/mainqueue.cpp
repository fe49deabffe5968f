// SPDX-License-Identifier: MIT
#include "mainqueue.h"

#include "tsanhandover.h"

#include <QCoreApplication>
#include <QMetaObject>

void MainQueue::async(std::function<void()> block)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || !block) {
        return;
    }
    // A queued call is a posted event, and those to one receiver arrive in the
    // order posted from any thread: the whole guarantee callers rely on.
    std::function<void()> task = [block = std::move(block)] {
        TsanHandover::receive();
        block();
    };
    TsanHandover::send();
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}
