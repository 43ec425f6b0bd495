#include "speech/VoiceFactory.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto voice = CreatePlatformVoice();
    return 0;
}
