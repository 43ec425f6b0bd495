// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/frmAbout.h"

#include "platform/Failure.h"
#include "platform/Layout.h"
#include "resources/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QVersionNumber>

#include <algorithm>
#include <cmath>
#include <QtEndian>

using namespace RegistryCodes;

namespace {

const QString SysInfoPathKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString SysInfoPathValue = QStringLiteral("PATH");
const QString SysInfoFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString SysInfoFolderValue = QStringLiteral("MSINFO");
const QString SysInfoFileName = QStringLiteral("MSINFO32.EXE");
constexpr quint32 ValueBufferSize = 1024;
constexpr int NormalFocusWindowStyle = 1;

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *l = placeControl<QLabel>(parent, name, geometry);
    l->setText(text);
    return l;
}

QWidget *line(QWidget *parent, const char *name, QRect geometry, QColor colour)
{
    auto *l = placeControl<QWidget>(parent, name, geometry);
    l->setAutoFillBackground(true);
    QPalette palette = l->palette();
    palette.setColor(QPalette::Window, colour);
    l->setPalette(palette);
    return l;
}

// %NAME% references, as in the registry's expandable strings; unknown names stay as written.
QString expandEnvironment(const QString &text)
{
    static const QRegularExpression reference(QStringLiteral("%([^%]+)%"));
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString result;
    qsizetype from = 0;
    for (auto match = reference.globalMatch(text); match.hasNext();) {
        const auto m = match.next();
        result += text.mid(from, m.capturedStart() - from);
        result += environment.contains(m.captured(1)) ? environment.value(m.captured(1)) : m.captured(0);
        from = m.capturedEnd();
    }
    return result + text.mid(from);
}

} // namespace

double relativeLuminance(const QColor &colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

frmAbout::frmAbout(AboutServices services, QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_services(services)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildLayout();
}

void frmAbout::buildLayout()
{
    setWindowTitle(QStringLiteral("关于我的应用程序"));
    setWindowIcon(ProgramIcon());
    // Client area at 2340, 1935 twips from the screen's top-left corner, fixed in size.
    setGeometry(twips(2340), twips(1935), twips(5730), twips(3555));
    setFixedSize(twips(5730), twips(3555));

    auto *picIcon = label(this, "picIcon", QString(), twipsRect(240, 240, 540, 540));
    picIcon->setPixmap(ProgramIcon().pixmap(32, 32));
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdOK = placeControl<QPushButton>(this, "cmdOK", twipsRect(4125, 2625, 1500, 345));
    cmdOK->setText(QStringLiteral("确定"));
    cmdOK->setDefault(true); // Enter presses it; Esc closes the dialog as it does
    cmdSysInfo = placeControl<QPushButton>(this, "cmdSysInfo", twipsRect(4140, 3075, 1485, 345));
    cmdSysInfo->setText(QStringLiteral("系统信息(&S)..."));
    // Enter presses the focused button, as Space does; elsewhere it presses OK.
    cmdSysInfo->setAutoDefault(true);

    label(this, "Label4", QStringLiteral("感谢每一位使用者。"), twipsRect(240, 3120, 2415, 255));
    label(this, "Label3", QStringLiteral("欢迎提出意见和建议。"), twipsRect(240, 2880, 2175, 255));
    label(this, "Label2", QStringLiteral("自由软件，GPL-3.0 或更高版本"), twipsRect(1080, 1920, 2415, 255));
    label(this, "Label1", QStringLiteral("用 Qt 和 espeak-ng 制作的朗读工具。"), twipsRect(1080, 1680, 3855, 255));
    // An etched separator: a grey line with a white one just below it.
    line(this, "Line1_1", QRect(twips(90), twips(2445), twips(5654) - twips(90), 1), QColor(128, 128, 128));
    auto *description =
        label(this, "lblDescription",
              QStringLiteral("本软件是测试版本，功能暂未完善，运行时有时出错误也是难免的。不足之处请大家指出。"),
              twipsRect(1050, 1125, 3885, 450));
    description->setWordWrap(true);
    lblTitle = label(this, "lblTitle", QStringLiteral("应用程序标题"), twipsRect(1050, 240, 3885, 480));
    line(this, "Line1_0", QRect(twips(105), twips(2460), twips(5654) - twips(105), 2), QColor(255, 255, 255));
    lblVersion = label(this, "lblVersion", QStringLiteral("版本"), twipsRect(1050, 780, 3885, 225));
    label(this, "lblDisclaimer", QStringLiteral("与我们合作："), twipsRect(255, 2625, 3630, 225));
    followTheme();

    setTabOrder(cmdOK, cmdSysInfo);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
}

// The title, description and disclaimer are black, except where black would
// vanish on the window (a dark theme): there they take the theme's own text
// colour. And every label shows its whole text, whatever the system font: one
// that does not fit its place wraps and grows downwards.
void frmAbout::followTheme()
{
    const QColor background = palette().color(QPalette::Window);
    const QColor text = contrastRatio(Qt::black, background) >= MinimumContrast ? QColor(Qt::black)
                                                                               : palette().color(QPalette::WindowText);
    for (const char *name : {"lblDescription", "lblTitle", "lblDisclaimer"}) {
        auto *l = findChild<QLabel *>(QLatin1String(name));
        QPalette colours = l->palette();
        colours.setColor(QPalette::WindowText, text);
        l->setPalette(colours);
    }
    for (QLabel *l : findChildren<QLabel *>()) {
        if (l->text().isEmpty())
            continue;
        const QFontMetrics metrics(l->font());
        if (!l->wordWrap() && metrics.horizontalAdvance(l->text()) <= l->width() && metrics.height() <= l->height())
            continue;
        l->setWordWrap(true);
        l->resize(l->width(), std::max(l->height(), l->heightForWidth(l->width())));
    }
}

void frmAbout::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        followTheme();
}

void frmAbout::Form_Load()
{
    const QString title = QCoreApplication::applicationName();
    setWindowTitle(QStringLiteral("关于 ") + title);
    const QVersionNumber version = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    lblVersion->setText(QStringLiteral("版本 %1.%2.%3")
                            .arg(version.majorVersion())
                            .arg(version.minorVersion())
                            .arg(version.microVersion()));
    lblTitle->setText(title);
    followTheme();
    cmdOK->setFocus();
}

void frmAbout::StartSysInfo()
{
    try {
        QString path;
        if (!GetKeyValue(HKEY_LOCAL_MACHINE, SysInfoPathKey, SysInfoPathValue, path)) {
            if (!GetKeyValue(HKEY_LOCAL_MACHINE, SysInfoFolderKey, SysInfoFolderValue, path))
                throw Failure(QString());
            const QString candidate = QDir(path).filePath(SysInfoFileName);
            if (m_services.files->Dir(candidate).isEmpty())
                throw Failure(QString());
            path = candidate;
        }
        m_services.launcher->Shell(path, NormalFocusWindowStyle);
    } catch (const Failure &) {
        m_services.messageBox->Show(QStringLiteral("此时系统信息不可用"));
    }
}

bool frmAbout::GetKeyValue(HKEY KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal)
{
    Registry &registry = *m_services.registry;
    HKEY key = 0;
    // Reading is all this needs; asking for more is refused to ordinary users.
    if (registry.RegOpenKeyEx(KeyRoot, KeyName, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        KeyVal.clear();
        registry.RegCloseKey(key);
        return false;
    }
    quint32 type = REG_NONE;
    quint32 size = ValueBufferSize;
    QByteArray data;
    if (registry.RegQueryValueEx(key, SubKeyRef, &type, &data, &size) != ERROR_SUCCESS) {
        KeyVal.clear();
        registry.RegCloseKey(key);
        return false;
    }
    data.truncate(size);
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        // Exactly the stored terminator goes, counted in bytes, before the
        // bytes become text; a value with no data is the empty text.
        if (data.endsWith('\0'))
            data.chop(1);
        const QString text = QString::fromLocal8Bit(data);
        KeyVal = type == REG_SZ ? text : expandEnvironment(text);
        break;
    }
    case REG_DWORD:
        if (data.size() == 4)
            KeyVal = QString::number(qFromLittleEndian<quint32>(data.constData()));
        break;
    default:
        break; // found, but not something this reads as text: KeyVal stays as it was
    }
    registry.RegCloseKey(key);
    return true;
}
