// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/helper/HelperConfig.h"

#include "platform/paths/ProgramFiles.h"

HelperConfig HelperConfig::resolve(const HelperOptions &options)
{
    HelperConfig config;
    config.m_program =
        options.helperProgram.isEmpty() ? ProgramFiles::helper(QStringLiteral("sayrella-synth")) : options.helperProgram;
    config.m_voiceFolder =
        options.userVoiceFolder.isEmpty() ? ProgramFiles::userVoiceFolder() : options.userVoiceFolder;
    config.m_readings = ProgramFiles::data(QStringLiteral("mandarin-readings.bin"));
    config.m_dataPath = options.dataPath;
    config.m_extra = options.helperArguments;
    config.m_silenceTimeoutMs = options.silenceTimeoutMs;
    return config;
}

QStringList HelperConfig::synthesisArguments(const QStringList &more) const
{
    QStringList arguments;
    if (!m_dataPath.isEmpty())
        arguments << QStringLiteral("--data") << QString::fromLocal8Bit(m_dataPath);
    arguments << QStringLiteral("--voices") << m_voiceFolder << QStringLiteral("--readings") << m_readings << m_extra
              << more;
    return arguments;
}

QStringList HelperConfig::pinyinArguments(bool spokenTones) const
{
    QStringList arguments{QStringLiteral("--pinyin"), QStringLiteral("--readings"), m_readings};
    if (spokenTones)
        arguments << QStringLiteral("--spoken");
    return arguments;
}
