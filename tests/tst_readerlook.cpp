// SPDX-License-Identifier: GPL-3.0-or-later
// What the reader looks like to a person on a Chinese desktop: Qt's own
// texts in Chinese, and a keyboard focus that can be seen.
#include "reader/ProgramSetup.h"
#include "reader/VisibleFocusStyle.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

class TestReaderLook : public QObject
{
    Q_OBJECT

private slots:
    void qtTextsFollowTheLocale_data();
    void qtTextsFollowTheLocale();
    void focusedButtonHasAThickFrame();
};

void TestReaderLook::qtTextsFollowTheLocale_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("message box button") << QByteArray("QPlatformTheme") << QByteArray("OK");
    QTest::newRow("text area menu") << QByteArray("QWidgetTextControl") << QByteArray("&Undo");
}

void TestReaderLook::qtTextsFollowTheLocale()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, text);
    static const bool installed = [] {
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        return installQtTranslations();
    }();
    QVERIFY(installed);
    const QString translated = QCoreApplication::translate(context.constData(), text.constData());
    QVERIFY2(translated != QString::fromLatin1(text), qPrintable(translated));
    QVERIFY(std::any_of(translated.begin(), translated.end(), [](QChar c) { return c.script() == QChar::Script_Han; }));
}

void TestReaderLook::focusedButtonHasAThickFrame()
{
    QApplication::setStyle(new VisibleFocusStyle);
    QWidget window;
    window.resize(200, 100);
    auto *button = new QPushButton(QStringLiteral("Speak"), &window);
    button->setGeometry(20, 20, 97, 25);
    auto *other = new QPushButton(QStringLiteral("Stop"), &window);
    other->setGeometry(20, 60, 97, 25);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
    const QImage image = button->grab().toImage();
    const QColor highlight = button->palette().color(QPalette::Active, QPalette::Highlight);
    // Two pixels of the selection colour on each side, half-way down.
    const int y = image.height() / 2;
    for (int x : {1, 2, image.width() - 2, image.width() - 3})
        QVERIFY2(image.pixelColor(x, y) == highlight,
                 qPrintable(QStringLiteral("x=%1: %2").arg(x).arg(image.pixelColor(x, y).name())));
    // Enough contrast with the button face next to it.
    const QColor face = image.pixelColor(image.width() / 2, y);
    QVERIFY(std::abs(face.lightness() - highlight.lightness()) > 60);
}

QTEST_MAIN(TestReaderLook)
#include "tst_readerlook.moc"
