// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/SetupObj.h"

#include "platform/Failure.h"
#include "platform/Layout.h"

#include <QApplication>
#include <QLabel>
#include <QElapsedTimer>
#include <QScreen>
#include <QWindow>

namespace {

const QString Separator = QStringLiteral("/");
const QString CopyExtension = QStringLiteral(".msi");
const QString InstallerProgram = QStringLiteral("msiexec");
constexpr int NoFocusWindowStyle = 4;

// Exit statuses of a successful installation: done; done, restart started; done, restart needed.
bool installerSucceeded(int status) { return status == 0 || status == 1641 || status == 3010; }

} // namespace

SetupObj::SetupObj(InstallerServices services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_services(services)
{
    setObjectName(QStringLiteral("SetupObj"));
    setAccessibleName(QStringLiteral("正在初始化"));
    setFixedSize(twips(4785), twips(900));
    // A fixed dialog border and nothing else.
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("SetupObj { border: 1px solid palette(dark); }"));
    setAttribute(Qt::WA_StyledBackground);

    Label1 = new QLabel(QStringLiteral("正在初始化"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(songTiFont(10.5, false));
    Label1->move(twips(720), twips(360));
    Label1->adjustSize();
    objCap = new QLabel(QStringLiteral("普通话语音包"), this);
    objCap->setObjectName(QStringLiteral("objCap"));
    objCap->setFont(songTiFont(10.5, true));
    objCap->move(twips(1920), twips(360));
    objCap->adjustSize();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

// The wait for the installer blocks this thread, so whatever the window shows
// must be on the screen before it: wait (briefly) for the window system to
// map it, then paint it and hand the picture over.
void SetupObj::showPainted()
{
    QElapsedTimer clock;
    clock.start();
    while (isVisible() && windowHandle() && !windowHandle()->isExposed() && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    repaint();
    QApplication::processEvents();
}

void SetupObj::SetupMSI(const QString &file, const QString &nStr)
{
    FileSystem &files = *m_services.files;
    const QString temporary = files.GetSpecialFolder(FileSystem::TemporaryFolder);
    const QString system = files.GetSpecialFolder(FileSystem::SystemFolder);
    const QString program = files.ProgramFolder();
    const QString source = program + Separator + file;
    const QString copy = temporary + Separator + file + CopyExtension;

    files.CopyFile(source, copy, true);
    try {
        objCap->setText(nStr);
        objCap->adjustSize();
        showPainted();

        // The copy's path is one argument, whatever it holds: no command line to split.
        const auto installer = m_services.processes->Start(system + Separator + InstallerProgram,
                                                           {QStringLiteral("/package"), copy, QStringLiteral("/quiet")},
                                                           NoFocusWindowStyle);
        const int status = installer->Wait();
        if (!installerSucceeded(status))
            throw Failure(QStringLiteral("安装“%1”失败：安装程序返回了错误代码 %2。").arg(nStr).arg(status));
        files.DeleteFile(copy, false);
    } catch (...) {
        // Nothing of a failed attempt stays behind in the temporary folder.
        try {
            files.DeleteFile(copy, true);
        } catch (const Failure &) { }
        throw;
    }
    QApplication::processEvents();
}
