#include "CommandLine.h"

#include <QCoreApplication>

#include <cstring>

CommandLine::CommandLine()
{
    m_parser.setApplicationDescription(QStringLiteral("朗读文字的桌面程序：打开文档，选择语音，听它读给你。"));
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addPositionalArgument(QStringLiteral("文件"),
                                   QStringLiteral("启动时打开的文档（文本、Markdown、网页、EPUB、DOCX、ODT 或 PDF）。"),
                                   QStringLiteral("[文件]"));
}

bool CommandLine::asksOnlyForInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

void CommandLine::process()
{
    m_parser.process(QCoreApplication::arguments());
    if (m_parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("一次只能打开一个文档。")));
        std::fputs(qPrintable(m_parser.helpText()), stderr);
        std::exit(2);
    }
}

QString CommandLine::document() const { return m_parser.positionalArguments().value(0); }
