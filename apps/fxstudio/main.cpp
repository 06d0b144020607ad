// fxstudio: the desktop editor. fxstudio [PHOTO] [--recipe FILE] opens a photo (and applies a
// recipe to it); --sample WxH opens the built-in sample picture instead.

#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fxstudio"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A desktop editor of photos on the fxengine effect engine."));
    parser.addHelpOption();
    parser.addOption(
        { QStringLiteral("recipe"), QStringLiteral("A recipe to apply to the photo."), QStringLiteral("file") });
    parser.addOption({ QStringLiteral("sample"), QStringLiteral("Open the built-in sample picture of that size."),
        QStringLiteral("WxH") });
    parser.addOption({ QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window once the photo is shown, then quit."), QStringLiteral("file") });
    parser.addPositionalArgument(
        QStringLiteral("PHOTO"), QStringLiteral("The photo to open."), QStringLiteral("[PHOTO]"));
    parser.process(app);

    MainWindow window;
    // A scripted run has nobody to close message boxes: problems become trace lines.
    window.setQuiet(parser.isSet(QStringLiteral("screenshot")));
    window.show();
    const QStringList photos = parser.positionalArguments();
    bool opened = false;
    if (!photos.isEmpty()) {
        opened = window.openPhoto(photos.first());
    } else if (parser.isSet(QStringLiteral("sample"))) {
        static const QRegularExpression size(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
        const QRegularExpressionMatch match = size.match(parser.value(QStringLiteral("sample")));
        if (!match.hasMatch()) {
            fprintf(stderr, "fxstudio: --sample takes WxH, e.g. 3000x2000\n");
            return 2;
        }
        opened = window.openSample(match.captured(1).toInt(), match.captured(2).toInt());
    }
    if (opened && parser.isSet(QStringLiteral("recipe")))
        window.loadRecipe(parser.value(QStringLiteral("recipe")));
    if (parser.isSet(QStringLiteral("screenshot"))) {
        const QString path = parser.value(QStringLiteral("screenshot"));
        // After the first render and the histogram that follows it.
        QTimer::singleShot(1500, &window, [&window, path] {
            if (!window.grab().save(path))
                fprintf(stderr, "fxstudio: %s could not be written\n", qPrintable(path));
            QApplication::quit();
        });
    }
    return app.exec();
}
