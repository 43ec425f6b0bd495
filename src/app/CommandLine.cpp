// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

CommandLine::CommandLine()
{
    m_parser.setApplicationDescription(
        QStringLiteral("朗读文字的桌面程序：打开文档，选择语音，听它读给你，或把它保存为音频文件。\n\n"
                       "退出状态：0 成功；2 用法错误；65 输入无法读取或输出格式不支持；66 输入文件不存在；"
                       "69 语音没有安装；70 语音合成程序失败；73 输出文件无法写入或已经存在；"
                       "128+信号 被信号中断；1 其他错误。"));
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOptions({m_export, m_voice, m_rate, m_volume, m_subtitles, m_format, m_jobs, m_split, m_force, m_listVoices, m_listChapters, m_pinyin, m_spokenPinyin, m_speakSelection, m_speakClipboard});
    m_parser.addPositionalArgument(QStringLiteral("文件"),
                                   QStringLiteral("要朗读的文档（文本、Markdown、网页、EPUB、DOCX、ODT、RTF 或 PDF）；"
                                                  "保存时可给多个，“-”表示标准输入。"),
                                   QStringLiteral("[文件…]"));
}

void CommandLine::usageError(const QString &message) const
{
    std::fprintf(stderr, "sayrella: %s\n\n%s", qPrintable(message), qPrintable(m_parser.helpText()));
    std::exit(2);
}

void CommandLine::parse(const QStringList &arguments)
{
    if (!m_parser.parse(arguments))
        usageError(m_parser.errorText());
    if (m_parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(m_parser.helpText()), stdout);
        std::exit(0);
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        std::exit(0);
    }
    bool ok = false;
    m_rateValue = m_parser.value(m_rate).toInt(&ok);
    if (!ok || m_rateValue < -10 || m_rateValue > 10)
        usageError(QStringLiteral("语速必须是 -10 到 10 之间的整数：%1").arg(m_parser.value(m_rate)));
    m_volumeValue = m_parser.value(m_volume).toInt(&ok);
    if (!ok || m_volumeValue < 0 || m_volumeValue > 100)
        usageError(QStringLiteral("音量必须是 0 到 100 之间的整数：%1").arg(m_parser.value(m_volume)));
    if (m_parser.isSet(m_jobs)) {
        m_jobsValue = m_parser.value(m_jobs).toInt(&ok);
        if (!ok || m_jobsValue < 1 || m_jobsValue > 8)
            usageError(QStringLiteral("--jobs 必须是 1 到 8 之间的整数：%1").arg(m_parser.value(m_jobs)));
    }
    if (m_parser.isSet(m_split)) {
        const QString how = m_parser.value(m_split);
        if (how == u"chapters") {
            m_splitValue = Split::Chapters;
        } else if (how.startsWith(QStringLiteral("minutes:"))) {
            m_splitMinutes = how.mid(8).toInt(&ok);
            if (!ok || m_splitMinutes < 1 || m_splitMinutes > 24 * 60)
                usageError(QStringLiteral("--split minutes:N 的 N 必须是 1 到 1440 之间的整数：%1").arg(how));
            m_splitValue = Split::Minutes;
        } else {
            usageError(QStringLiteral("--split 只能是 chapters 或 minutes:N：%1").arg(how));
        }
    }
    if (mode() == Mode::Reader && m_parser.positionalArguments().size() > 1)
        usageError(QStringLiteral("窗口一次只能打开一个文档。"));
    const bool reads = m_parser.isSet(m_speakSelection) || m_parser.isSet(m_speakClipboard);
    if (reads && mode() != Mode::Reader)
        usageError(QStringLiteral("--speak-selection 和 --speak-clipboard 只用于朗读窗口。"));
    if (m_parser.isSet(m_speakSelection) && m_parser.isSet(m_speakClipboard))
        usageError(QStringLiteral("--speak-selection 和 --speak-clipboard 只能选一个。"));
    if (reads && !m_parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("朗读选中的文字或剪贴板时不能同时打开文档。"));
    if (mode() == Mode::ListChapters && m_parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("没有给出要列出章节的文档。"));
    if (mode() == Mode::Export && m_parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("没有给出要保存的文档（用“-”表示标准输入）。"));
}

ReaderRequest CommandLine::readerRequest() const
{
    if (m_parser.isSet(m_speakSelection))
        return {ReaderRequest::Kind::SpeakSelection, {}};
    if (m_parser.isSet(m_speakClipboard))
        return {ReaderRequest::Kind::SpeakClipboard, {}};
    if (!document().isEmpty())
        return {ReaderRequest::Kind::Open, QFileInfo(document()).absoluteFilePath()};
    return {};
}

CommandLine::Mode CommandLine::mode() const
{
    if (m_parser.isSet(m_listVoices))
        return Mode::ListVoices;
    if (m_parser.isSet(m_pinyin) || m_parser.isSet(m_spokenPinyin))
        return Mode::Pinyin;
    if (m_parser.isSet(m_listChapters))
        return Mode::ListChapters;
    if (m_parser.isSet(m_export))
        return Mode::Export;
    return Mode::Reader;
}
