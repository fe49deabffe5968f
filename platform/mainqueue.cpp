// SPDX-License-Identifier: MIT
#include "mainqueue.h"

#include "tsanhandover.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type kBlockEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// The block travels in an event made whole before it is handed over, so
// nothing of it is written after the hand-over is marked (a queued functor
// call would build its slot object after the mark, inside Qt's template).
class BlockEvent final : public QEvent {
public:
    explicit BlockEvent(std::function<void()> block)
        : QEvent(kBlockEvent)
        , m_block(std::move(block))
    {
    }

    void run() const
    {
        TsanHandover::receive();
        m_block();
    }

private:
    std::function<void()> m_block;
};

class Receiver final : public QObject {
protected:
    bool event(QEvent *event) override
    {
        if (event->type() != kBlockEvent)
            return QObject::event(event);
        static_cast<BlockEvent *>(event)->run();
        return true;
    }
};

} // namespace

void MainQueue::async(std::function<void()> block)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || !block) {
        return;
    }
    // Lives on the main thread whichever thread asks first.
    static Receiver *const receiver = [app] {
        auto *made = new Receiver;
        made->moveToThread(app->thread());
        return made;
    }();
    // Posted events to one receiver arrive in the order posted, from any
    // thread: the whole guarantee callers rely on.
    auto *event = new BlockEvent(std::move(block));
    TsanHandover::send();
    QCoreApplication::postEvent(receiver, event);
}
