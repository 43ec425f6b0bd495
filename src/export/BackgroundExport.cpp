// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/BackgroundExport.h"

#include "platform/Failure.h"

#include <QPointer>

namespace Exporter {

BackgroundExport::~BackgroundExport()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundExport::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

bool BackgroundExport::start(const Job &job, QObject *context, std::function<void(const Progress &)> progress,
                             std::function<void(const QString &failure)> done)
{
    if (m_running)
        return false;
    if (m_thread.joinable())
        m_thread.join(); // the last one has reported already
    m_running = true;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    QPointer<QObject> guard(context);
    const auto onContextThread = [guard](auto call) {
        if (!guard)
            return;
        QMetaObject::invokeMethod(
            guard,
            [guard, call] {
                if (guard)
                    call();
            },
            Qt::QueuedConnection);
    };
    m_thread = std::thread([this, job, cancel = m_cancel, onContextThread, progress = std::move(progress),
                            done = std::move(done), synthesis = m_synthesis] {
        QString failure;
        try {
            if (!synthesis)
                throw Failure(QStringLiteral("没有可用的语音合成。"), Failure::Reason::EngineFailed);
            const std::unique_ptr<SpeechSynthesis> renderer = synthesis();
            run(
                *renderer, job, [&](const Progress &p) { onContextThread([progress, p] { progress(p); }); }, *cancel);
        } catch (const Failure &f) {
            failure = f.description();
        }
        // m_running is only touched on the context's thread; the context
        // owns this object, so while the guard holds, so does this.
        onContextThread([this, done, failure] {
            m_running = false;
            done(failure);
        });
    });
    return true;
}

} // namespace Exporter
