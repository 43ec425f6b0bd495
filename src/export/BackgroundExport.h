// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/Exporter.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace Exporter {

// One save at a time, on a thread of its own, for a window: the window stays
// usable, sees the progress, and can cancel. Destroying it cancels a save in
// progress and waits for it, so nothing partial is left behind.
class BackgroundExport
{
public:
    // Each save makes its synthesis with synthesis, on the saving thread.
    explicit BackgroundExport(SynthesisFactory synthesis) : m_synthesis(std::move(synthesis)) { }
    ~BackgroundExport();
    BackgroundExport(const BackgroundExport &) = delete;
    BackgroundExport &operator=(const BackgroundExport &) = delete;

    // Starts saving job unless a save is still running (then returns false).
    // progress and done (with the failure, empty when saved or cancelled)
    // are called on context's thread, and dropped if context is gone.
    bool start(const Job &job, QObject *context, std::function<void(const Progress &)> progress,
               std::function<void(const QString &failure)> done);
    void cancel();
    // Until done has been called.
    bool running() const { return m_running; }

private:
    SynthesisFactory m_synthesis;
    bool m_running = false;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::thread m_thread;
};

} // namespace Exporter
