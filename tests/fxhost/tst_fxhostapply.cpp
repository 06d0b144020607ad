// fxhost apply, driven as a user drives it: the built program in a process of its own, its exit
// code, what it says on stderr and the files it leaves behind.
#include "fxhostrun.h"
#include "testdata.h"
#include "testregistry.h"

#include <QBuffer>
#include <QColorSpace>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace FxhostRun;

namespace {
const QString demoRecipe = QStringLiteral(FX_SOURCE_DIR "/apps/fxhost/demo/demo.json");

// fxhost apply; stderr as text.
Run apply(const QStringList &arguments, const QString &workingDir = QString())
{
    return fxhost(QStringList { "apply" } + arguments, workingDir);
}

QByteArray samplePng(int width, int height)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    TSampleImage::generate(width, height).save(&buffer, "PNG");
    return png;
}

// A PNG file with an iCCP chunk holding profile (compressed as PNG wants it, with a valid CRC,
// so that the reader does not simply drop it).
QByteArray pngWithProfile(const QByteArray &png, const QByteArray &profile)
{
    auto crc = [](const QByteArray &data) {
        quint32 c = 0xffffffffu;
        for (char byte : data) {
            c ^= quint8(byte);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        }
        return c ^ 0xffffffffu;
    };
    auto be32 = [](quint32 v) {
        const char bytes[4] = { char(v >> 24), char(v >> 16), char(v >> 8), char(v) };
        return QByteArray(bytes, 4);
    };
    // qCompress prefixes the zlib stream with its length.
    const QByteArray body = QByteArray("icc\0\0", 5) + qCompress(profile).mid(4);
    const QByteArray typed = "iCCP" + body;
    const QByteArray chunk = be32(quint32(body.size())) + typed + be32(crc(typed));
    // After the signature (8 bytes) and the IHDR chunk (25 bytes).
    return png.left(33) + chunk + png.mid(33);
}
}

class tst_FxhostApply : public QObject {
    Q_OBJECT
private slots:
    void applyExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("recipe");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("named");
        const QByteArray none;
        QTest::newRow("sample without effects") << QStringList { "-o", "out.png" } << none << 0 << "";
        QTest::newRow("effects from --fx")
            << QStringList { "--fx", "Exposure:exposure=0.5", "--fx", "Vignette", "-o", "out.png" } << none << 0 << "";
        QTest::newRow("demo recipe to JPEG")
            << QStringList { "--recipe", demoRecipe, "--quality", "80", "-o", "out.jpg" } << none << 0 << "";
        QTest::newRow("malformed recipe")
            << QStringList { "-o", "out.png" } << QByteArray("{\"version\": 1,\n\"effects\": [{\"key\": }]}") << 2
            << "line 2";
        QTest::newRow("recipe with unknown parameter")
            << QStringList { "-o", "out.png" }
            << QByteArray(R"({"version": 1, "effects": [{"key": "Tone", "params": {"contrst": 1}}]})") << 2
            << "\"contrst\"";
        QTest::newRow("unknown --fx key") << QStringList { "--fx", "Exposure", "--fx", "Brightness", "-o", "out.png" }
                                          << none << 2 << "\"Brightness\"";
        QTest::newRow("--fx value out of range")
            << QStringList { "--fx", "Sharpen:amount=7", "-o", "out.png" } << none << 2 << "\"amount\"";
        QTest::newRow("16 bits into JPEG")
            << QStringList { "--depth", "16", "-o", "out.jpg" } << none << 2 << "out.jpg";
        QTest::newRow("unknown output type") << QStringList { "-o", "out.xyz" } << none << 2 << "xyz";
        QTest::newRow("no output") << QStringList {} << none << 2 << "-o";
        QTest::newRow("unknown option") << QStringList { "--brightness", "-o", "out.png" } << none << 2 << "brightness";
        QTest::newRow("unknown output profile")
            << QStringList { "--icc-out", "nowhere.icc", "-o", "out.png" } << none << 2 << "nowhere.icc";
    }

    void applyExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, recipe);
        QFETCH(int, code);
        QFETCH(QString, named);
        QTemporaryDir dir;
        if (!recipe.isEmpty()) {
            QVERIFY(writeFile(dir.filePath("recipe.json"), recipe));
            arguments << "--recipe" << dir.filePath("recipe.json");
        }
        const Run run = apply(arguments, dir.path());
        QVERIFY2(run.exitCode == code, qPrintable(describe(run)));
        if (code == 0) {
            const QStringList written = QDir(dir.path()).entryList({ "out.*" }, QDir::Files);
            QCOMPARE(written.size(), 1);
            QCOMPARE(QImage(dir.filePath(written.first())).size(), QSize(1800, 1200));
            return;
        }
        // One clear line, and nothing written.
        const QString err = QString::fromUtf8(run.err).trimmed();
        QVERIFY2(err.contains(named) && !err.contains('\n'), qPrintable(err));
        QCOMPARE(QDir(dir.path()).entryList({ "out.*" }, QDir::Files), QStringList());
    }

    void applyBatchNamesEachFailure_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("jobs");
        const QByteArray truncatedPng = samplePng(300, 200).left(1000);
        for (int jobs : { 1, 2 }) {
            const QByteArray tag = QByteArray("/jobs ") + QByteArray::number(jobs);
            QTest::newRow("missing" + tag) << "missing.png" << QByteArray() << jobs;
            QTest::newRow("zero bytes" + tag) << "empty.png" << QByteArray("") << jobs;
            QTest::newRow("not a picture" + tag) << "corrupt.jpg" << QByteArray("this is no JPEG\n") << jobs;
            QTest::newRow("truncated" + tag) << "truncated.png" << truncatedPng << jobs;
            QTest::newRow("directory" + tag) << "folder" << QByteArray("dir") << jobs;
        }
    }

    void applyBatchNamesEachFailure()
    {
        QFETCH(QString, bad);
        QFETCH(QByteArray, content);
        QFETCH(int, jobs);
        QTemporaryDir dir;
        const QDir in(dir.path());
        const QString first = writeSample(in, "first.png", 160, 120);
        const QString last = writeSample(in, "last.png", 120, 160);
        const QString broken = in.filePath(bad);
        if (content == "dir") {
            QVERIFY(in.mkdir(bad));
        } else if (!content.isNull()) {
            QVERIFY(writeFile(broken, content));
        }
        const QString out = in.filePath("out");
        const Run run
            = apply({ first, broken, last, "--fx", "Clarity:amount=0.5", "-o", out, "--jobs", QString::number(jobs) });
        QVERIFY2(run.exitCode == 1, qPrintable(describe(run)));
        const QString err = QString::fromUtf8(run.err).trimmed();
        QVERIFY2(err.contains(broken) && !err.contains('\n'), qPrintable(err));
        QCOMPARE(QImage(QDir(out).filePath("first.png")).size(), QSize(160, 120));
        QCOMPARE(QImage(QDir(out).filePath("last.png")).size(), QSize(120, 160));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void applyKeepsExistingOutput()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("out.png");
        QVERIFY(writeFile(out, "precious"));
        Run run = apply({ "-o", out });
        QVERIFY2(run.exitCode == 1, qPrintable(describe(run)));
        QVERIFY2(run.err.contains(out.toUtf8()) && run.err.contains("--overwrite"), qPrintable(describe(run)));
        QCOMPARE(bytesOf(out), QByteArray("precious"));
        run = apply({ "-o", out, "--overwrite" });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        QCOMPARE(QImage(out).size(), QSize(1800, 1200));
    }

    void applySixteenBitMatchesEightBit_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::newRow("sRGB") << "sRGB";
        QTest::newRow("AdobeRGB") << "AdobeRGB";
        QTest::newRow("ProPhoto") << "ProPhoto";
    }

    // An 8-bit output is the 16-bit one rounded, in every output space: rounding anywhere earlier
    // (in the engine's ProPhoto) would grow to many levels in saturated colours of a smaller space.
    void applySixteenBitMatchesEightBit()
    {
        QFETCH(QString, profile);
        QTemporaryDir dir;
        const QStringList recipe { "--recipe", demoRecipe, "--side-by-side", "--icc-out", profile };
        Run run = apply(recipe + QStringList { "-o", dir.filePath("eight.png") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        run = apply(recipe + QStringList { "-o", dir.filePath("sixteen.png"), "--depth", "16" });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QImage eight = QImage(dir.filePath("eight.png")).convertToFormat(QImage::Format_RGB32);
        const QImage sixteen(dir.filePath("sixteen.png"));
        QCOMPARE(sixteen.depth(), 64);
        QCOMPARE(sixteen.size(), eight.size());
        QCOMPARE(sixteen.colorSpace(), eight.colorSpace());
        int worst = 0;
        qint64 between = 0;
        for (int y = 0; y < eight.height(); ++y) {
            const auto *deep = reinterpret_cast<const QRgba64 *>(sixteen.constScanLine(y));
            const auto *flat = reinterpret_cast<const QRgb *>(eight.constScanLine(y));
            for (int x = 0; x < eight.width(); ++x) {
                const int channels16[3] = { deep[x].red(), deep[x].green(), deep[x].blue() };
                const int channels8[3] = { qRed(flat[x]), qGreen(flat[x]), qBlue(flat[x]) };
                for (int c = 0; c < 3; ++c) {
                    worst = std::max(worst, std::abs((channels16[c] + 128) / 257 - channels8[c]));
                    between += channels16[c] % 257 != 0;
                }
            }
        }
        // Both come from the same result; the 8-bit conversion rounds once more.
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
        // A 16-bit file of 8-bit values widened would have none between the 8-bit steps.
        QVERIFY(between > eight.width() * eight.height());
    }

    void applyEmbedsOutputProfile_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("primaries");
        QTest::newRow("sRGB") << "sRGB" << int(QColorSpace::Primaries::SRgb);
        QTest::newRow("AdobeRGB") << "AdobeRGB" << int(QColorSpace::Primaries::AdobeRgb);
        QTest::newRow("ProPhoto") << "ProPhoto" << int(QColorSpace::Primaries::ProPhotoRgb);
        QTest::newRow("Adobe RGB file") << sharedDataPath("icc/AdobeRGB1998.icc")
                                        << int(QColorSpace::Primaries::AdobeRgb);
    }

    void applyEmbedsOutputProfile()
    {
        QFETCH(QString, profile);
        QFETCH(int, primaries);
        if (profile.contains('/'))
            FX_REQUIRE_SHARED_DATA("icc/AdobeRGB1998.icc");
        QTemporaryDir dir;
        const QString input = writeSample(QDir(dir.path()), "in.png", 240, 160);
        Run run = apply({ input, "--fx", "Colour:vibrance=0.3", "-o", dir.filePath("srgb.png") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        run = apply({ input, "--fx", "Colour:vibrance=0.3", "--icc-out", profile, "-o", dir.filePath("out.png") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        QImage out(dir.filePath("out.png"));
        QVERIFY(out.colorSpace().isValid());
        QCOMPARE(int(out.colorSpace().primaries()), primaries);
        // Brought back to sRGB through the profile it carries, the picture is the sRGB result: the
        // pixels were converted to the profile that is embedded, not only tagged with it.
        const QImage reference = QImage(dir.filePath("srgb.png")).convertToFormat(QImage::Format_RGB32);
        out.convertToColorSpace(QColorSpace::SRgb);
        out = out.convertToFormat(QImage::Format_RGB32);
        int worst = 0, beyondFew = 0;
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) {
                const QRgb a = out.pixel(x, y), b = reference.pixel(x, y);
                const int difference = std::max(
                    { std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)) });
                worst = std::max(worst, difference);
                beyondFew += difference > 6;
            }
        // Qt's own conversion and the 8-bit quantisation of wider gamuts allow a few levels. Colours
        // outside sRGB differ more: the sRGB output maps them through the profile's perceptual
        // tables, Qt's conversion back clips them (a deep blue sky: red 8 against 0).
        const QString figures = QStringLiteral("worst %1, %2 pixels beyond 6 levels").arg(worst).arg(beyondFew);
        QVERIFY2(beyondFew * 100 <= out.width() * out.height() && worst <= 16, qPrintable(figures));
    }

    void applyJobsMatchSerialByteForByte()
    {
        QTemporaryDir dir;
        const QDir in(dir.path());
        const QStringList inputs { writeSample(in, "a.png", 300, 200), writeSample(in, "b.png", 200, 300),
            writeSample(in, "c.jpg", 257, 131), writeSample(in, "d.png", 64, 64) };
        const QStringList common = QStringList { "--recipe", demoRecipe, "--format", "png" } + inputs;
        Run run = apply(common + QStringList { "--jobs", "1", "-o", dir.filePath("serial") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        run = apply(common + QStringList { "--jobs", "2", "-o", dir.filePath("parallel") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QStringList written = QDir(dir.filePath("serial")).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(written, QStringList({ "a.png", "b.png", "c.png", "d.png" }));
        QCOMPARE(QDir(dir.filePath("parallel")).entryList(QDir::Files | QDir::Hidden), written);
        for (const QString &name : written) {
            const QByteArray serial = bytesOf(dir.filePath("serial/" + name));
            QVERIFY(!serial.isEmpty());
            QVERIFY2(bytesOf(dir.filePath("parallel/" + name)) == serial, qPrintable(name));
        }
    }

    void applySavedRecipeGivesSameBytes()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath("saved.json");
        Run run = apply({ "--recipe", demoRecipe, "--fx", "BlackWhite:tint=0.4", "--save-recipe", saved, "-o",
            dir.filePath("first.png") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QJsonArray effects = QJsonDocument::fromJson(bytesOf(saved)).object().value("effects").toArray();
        const QJsonArray demo = QJsonDocument::fromJson(bytesOf(demoRecipe)).object().value("effects").toArray();
        QCOMPARE(effects.size(), demo.size() + 1);
        QCOMPARE(effects.last().toObject().value("key").toString(), QStringLiteral("BlackWhite"));
        run = apply({ "--recipe", saved, "-o", dir.filePath("second.png") });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QByteArray first = bytesOf(dir.filePath("first.png"));
        QVERIFY(!first.isEmpty());
        QVERIFY(bytesOf(dir.filePath("second.png")) == first);
    }

    void applyHostileInputProfile()
    {
        QTemporaryDir dir;
        // A header that claims far more data than follows, and a tag table pointing past the end.
        QByteArray hostile(132, '\0');
        hostile[0] = char(0x7f);
        hostile.replace(12, 8, "mntrRGB ");
        hostile.replace(36, 4, "acsp");
        hostile[131] = char(0x40);
        QVERIFY(writeFile(dir.filePath("hostile.png"), pngWithProfile(samplePng(200, 100), hostile)));
        const Run run
            = apply({ dir.filePath("hostile.png"), "--fx", "Exposure:exposure=0.3", "-o", dir.filePath("out.png") });
        // The profile is not honoured; the picture is read as sRGB, as one without a profile.
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        QCOMPARE(QImage(dir.filePath("out.png")).size(), QSize(200, 100));
    }

    void applyInterruptRemovesOutput_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("serial") << 1;
        QTest::newRow("two workers") << 2;
    }

    void applyInterruptRemovesOutput()
    {
        QFETCH(int, jobs);
        QTemporaryDir dir;
        const QDir in(dir.path());
        // Large enough that the effects are still running when the signal comes.
        const QStringList inputs { writeSample(in, "big1.bmp", 4000, 3000), writeSample(in, "big2.bmp", 3000, 4000) };
        const QString out = dir.filePath("out");
        QProcess process;
        process.start(QStringLiteral(FXHOST_PATH),
            QStringList { "apply", "--verbose", "--fx", "Clarity:amount=0.5,radius=200", "--fx", "Tone:shadows=0.5",
                "--fx", "Sharpen:amount=1", "--jobs", QString::number(jobs), "--format", "png", "-o", out }
                + inputs);
        QVERIFY(process.waitForStarted());
        // The engine's trace shows when the effects run; send Ctrl-C then.
        QByteArray err;
        QElapsedTimer waited;
        waited.start();
        while (!err.contains("procOutIm") && waited.elapsed() < 60000 && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            err += process.readAllStandardError();
        }
        QVERIFY2(process.state() == QProcess::Running, "finished before it could be interrupted");
        QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        // Neither the results nor temporary files are left.
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

FX_REGISTER_TEST(tst_FxhostApply)
#include "tst_fxhostapply.moc"
