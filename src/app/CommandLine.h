// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/ReaderRequest.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The program's command line:
//   sayrella [FILE]                       the reader, with FILE's text
//   sayrella --speak-selection | --speak-clipboard   the reader, reading the selection or the clipboard
// In a desktop session the reader already running takes these over.
//   sayrella --export OUT [options] [INPUT|-]...   speech saved to files, no window
//   sayrella --list-voices
//   sayrella --pinyin [INPUT|-]...          what a Mandarin voice is told to say, a line for each line
//   sayrella --spoken-pinyin [INPUT|-]...   the same with the tones as they are said
//   sayrella --list-chapters FILE...        the chapters a split save would make
// --help and --version print and end the program. None of these but the
// reader itself needs a display or a sound server.
class CommandLine
{
public:
    enum class Mode { Reader, Export, ListVoices, Pinyin, ListChapters };
    enum class Split { Nothing, Chapters, Minutes };

    CommandLine();

    // Parses; prints help, the version or a usage error (exit status 2) and
    // ends the program for those.
    void parse(const QStringList &arguments);

    Mode mode() const;
    QString document() const { return m_parser.positionalArguments().value(0); }
    QStringList inputs() const { return m_parser.positionalArguments(); }
    QString exportTarget() const { return m_parser.value(m_export); }
    QString voice() const { return m_parser.value(m_voice); }
    QString format() const { return m_parser.value(m_format); }
    int rate() const { return m_rateValue; }
    int volume() const { return m_volumeValue; }
    bool subtitles() const { return m_parser.isSet(m_subtitles); }
    bool force() const { return m_parser.isSet(m_force); }
    int jobs() const { return m_jobsValue; } // 0: one per core
    Split split() const { return m_splitValue; }
    int splitMinutes() const { return m_splitMinutes; }
    bool spokenTones() const { return m_parser.isSet(m_spokenPinyin); }
    // What the reader is asked to do; a document's path made absolute, for
    // a reader running in another folder.
    ReaderRequest readerRequest() const;

    [[noreturn]] void usageError(const QString &message) const;

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_export{
        QStringLiteral("export"),
        QStringLiteral("把朗读保存为音频文件 OUT（格式由扩展名决定：wav、flac、ogg、opus、mp3）；OUT "
                       "为文件夹时，每个输入各存一个同名文件。"),
        QStringLiteral("OUT")};
    QCommandLineOption m_voice{QStringLiteral("voice"), QStringLiteral("用这个语音（--list-voices 列出的标识）。"),
                               QStringLiteral("ID")};
    QCommandLineOption m_rate{QStringLiteral("rate"), QStringLiteral("语速，-10 到 10，默认 0。"), QStringLiteral("N"),
                              QStringLiteral("0")};
    QCommandLineOption m_volume{QStringLiteral("volume"), QStringLiteral("音量，0 到 100，默认 100。"),
                                QStringLiteral("N"), QStringLiteral("100")};
    QCommandLineOption m_subtitles{QStringLiteral("subtitles"),
                                   QStringLiteral("同时保存字幕：同名的 .lrc 和 .srt 文件。")};
    QCommandLineOption m_format{QStringLiteral("format"), QStringLiteral("OUT 为文件夹时使用的格式（默认 wav）。"),
                                QStringLiteral("EXT"), QStringLiteral("wav")};
    QCommandLineOption m_jobs{QStringLiteral("jobs"),
                              QStringLiteral("保存时同时用 N 个语音合成程序（1 到 8），默认每个处理器核心一个。"),
                              QStringLiteral("N")};
    QCommandLineOption m_split{
        QStringLiteral("split"),
        QStringLiteral("分成多个文件保存：chapters 每章一个（按文档的标题或“第一章”这样的行），minutes:N 约每 N "
                       "分钟一个（在句子处分开）；文件名带编号和章节名，另存一个 .m3u8 播放列表。"),
        QStringLiteral("HOW")};
    QCommandLineOption m_force{QStringLiteral("force"), QStringLiteral("覆盖已经存在的文件。")};
    QCommandLineOption m_listVoices{QStringLiteral("list-voices"), QStringLiteral("列出可用语音的标识和名称。")};
    QCommandLineOption m_listChapters{
        QStringLiteral("list-chapters"),
        QStringLiteral("不朗读，列出 --split chapters 会分出的章节：每行一个编号和章节名。")};
    QCommandLineOption m_pinyin{
        QStringLiteral("pinyin"),
        QStringLiteral("不朗读，逐行打印普通话语音将要读出的内容：汉字为带声调数字（1–5）的拼音（ü 写作 v，"
                       "为词典声调，未做变调），英文单词照原样；没有输入时读标准输入。")};
    QCommandLineOption m_spokenPinyin{
        QStringLiteral("spoken-pinyin"),
        QStringLiteral("同 --pinyin，但声调是实际读出的声调：做了变调（“你好”ni2 hao3，“一个”yi2 ge4，“不是”bu2 shi4，"
                       "“看看”kan4 kan5）。")};
    QCommandLineOption m_speakSelection{
        QStringLiteral("speak-selection"),
        QStringLiteral("朗读在任何程序里选中的文字（X11 的主选区）：交给正在运行的朗读器，没有时打开窗口。"
                       "可以在桌面的键盘设置里绑定到一个快捷键。")};
    QCommandLineOption m_speakClipboard{QStringLiteral("speak-clipboard"),
                                        QStringLiteral("同 --speak-selection，但朗读剪贴板里的文字。")};
    int m_rateValue = 0;
    int m_volumeValue = 100;
    int m_jobsValue = 0;
    Split m_splitValue = Split::Nothing;
    int m_splitMinutes = 0;
};
