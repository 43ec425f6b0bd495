// SPDX-License-Identifier: GPL-3.0-or-later
#include "documents/BackgroundRead.h"

#include "documents/Cancellation.h"
#include "documents/Documents.h"
#include "platform/Failure.h"

#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace Documents {

void readInBackground(const QString &path, QObject *context, std::function<void(const Outcome &)> done)
{
    QPointer<QObject> guard(context);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    QObject::connect(context, &QObject::destroyed, [cancelled] { cancelled->store(true); });
    QThreadPool::globalInstance()->start([path, guard, cancelled, done = std::move(done)] {
        const CancellationScope scope(cancelled.get());
        Outcome outcome;
        try {
            Document document = read(path, &outcome.notes);
            outcome.text = std::move(document.text);
            outcome.title = document.info.title.simplified();
            outcome.ok = true;
        } catch (const Failure &failure) {
            outcome.failure = failure.description();
        } catch (const std::bad_alloc &) {
            outcome.failure = QStringLiteral("内存不足，无法打开。");
        }
        if (guard)
            QMetaObject::invokeMethod(
                guard,
                [guard, done, outcome] {
                    if (guard)
                        done(outcome);
                },
                Qt::QueuedConnection);
    });
}

} // namespace Documents
